// region.h - regions as lists of disjoint rectangles: the update regions of
// windows and the visible clip of window DCs.
//
// The device has a handful of windows, so a region holds a few rectangles;
// plain lists are both simple and fast here.
#ifndef CE_PLATFORM_REGION_H
#define CE_PLATFORM_REGION_H

#include <vector>

#include "windef.h"

namespace plat {

using Region = std::vector<RECT>; // disjoint, none empty

bool RectEmpty(const RECT &r);
// The common part of a and b; false (and r empty) when there is none.
bool RectIntersect(const RECT &a, const RECT &b, RECT &r);

// Adds r to the region (only the parts not already in it).
void RegionAdd(Region &rgn, const RECT &r);
// Takes r out of the region.
void RegionSubtract(Region &rgn, const RECT &r);
// Keeps only the parts inside r.
void RegionClip(Region &rgn, const RECT &r);
// Keeps only the parts inside the other region.
void RegionIntersect(Region &rgn, const Region &other);
void RegionOffset(Region &rgn, int dx, int dy);
// The smallest rectangle holding the region (empty for an empty region).
RECT RegionBounds(const Region &rgn);

} // namespace plat

#endif
