// SPDX-License-Identifier: MIT
#include "editor/platform/copy_clipping.h"

#include <algorithm>

namespace vela {

namespace {

void clipAxis(int64_t& to, int64_t& from, int64_t& length, int toSize, int fromSize)
{
    const int64_t skipped = std::max({int64_t{0}, -to, -from});
    to += skipped;
    from += skipped;
    length = std::min({length - skipped, toSize - to, fromSize - from});
}

} // namespace

bool clipCopy(CopyArea& area, int toWidth, int toHeight, int fromWidth, int fromHeight)
{
    clipAxis(area.toX, area.fromX, area.width, toWidth, fromWidth);
    clipAxis(area.toY, area.fromY, area.height, toHeight, fromHeight);
    return area.width > 0 && area.height > 0;
}

} // namespace vela
