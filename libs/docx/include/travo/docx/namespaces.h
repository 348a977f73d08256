// XML namespace URIs of the Office Open XML parts this library reads.
#pragma once

namespace travo::docx::ns {

// WordprocessingML: w:document, w:p, w:r, w:t, ...
inline constexpr char kW[] = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
// Relationship references inside parts (r:id, r:embed).
inline constexpr char kR[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
// DrawingML, its picture vocabulary and its word-processing placement.
inline constexpr char kA[] = "http://schemas.openxmlformats.org/drawingml/2006/main";
inline constexpr char kPic[] = "http://schemas.openxmlformats.org/drawingml/2006/picture";
inline constexpr char kWp[] = "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing";
// Markup compatibility: mc:AlternateContent and its mc:Choice and
// mc:Fallback, which hold one piece of content in several forms.
inline constexpr char kMc[] = "http://schemas.openxmlformats.org/markup-compatibility/2006";
// Package-level vocabularies.
inline constexpr char kContentTypes[] = "http://schemas.openxmlformats.org/package/2006/content-types";
inline constexpr char kPackageRels[] = "http://schemas.openxmlformats.org/package/2006/relationships";

// Relationship types.
inline constexpr char kRelOfficeDocument[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
inline constexpr char kRelStyles[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
inline constexpr char kRelImage[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";

}  // namespace travo::docx::ns
