// The pango faces of cell fonts: their descriptions, the sizes they are drawn at, their lines and
// super- and subscripts.
#pragma once

#include <pango/pango.h>

#include <set>
#include <string>

#include "workbook.h"

namespace quenly::wb::print {

/// The size a font is drawn at, in points: super- and subscripts are smaller.
double effectiveSize(const Font& font);

/// The pango face of `font`, drawn with the installed families (`installed`, lower case) that
/// stand in for it (fontFamilies). The caller frees it.
PangoFontDescription* describeFont(const Font& font, const std::set<std::string>& installed);

/// Whether a font has lines or super-/subscript, which decorationAttrs draws.
bool hasDecorations(const Font& font);

/// Puts `attr` on bytes `start` .. `end` of a text and into `list`.
void insertAttr(PangoAttrList* list, PangoAttribute* attr, guint start, guint end);

/// The attributes a font puts on bytes `start` .. `end` of a text beyond its face: lines and
/// super-/subscript.
void decorationAttrs(PangoAttrList* list, const Font& font, guint start, guint end);

} // namespace quenly::wb::print
