// A small namespace-aware XML reader for WordprocessingML fragments.
//
// Meant for code that parses XML text it got from this library, such as a
// paragraph's serialised XML, or reads a paragraph's markup through
// Paragraph::xml_document. Elements are named by namespace URI and local
// name, never by prefix, so the prefixes a writer chose do not matter.
// Parsing never touches the network, loads no external entity and refuses a
// document type declaration.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct _xmlNode;

namespace travo::docx {

namespace detail {
struct Access;
}  // namespace detail

// How a walk treats mc:AlternateContent, in which a writer stores one piece
// of content in several forms: Word and LibreOffice keep a text box once as
// DrawingML in mc:Choice and again as VML in mc:Fallback.
enum class Alternates {
  all,          // every form: each mc:Choice and the mc:Fallback
  first_choice, // the first mc:Choice only, so the content counts once
};

// A handle to an element of an Xml_Document, valid while the document lives.
class Xml_Element {
 public:

  std::string local_name() const;
  // The namespace URI, "" when the element has none.
  std::string namespace_uri() const;
  // "{uri}local", or "local" for an element without a namespace.
  std::string tag() const;
  // The attribute `local` in namespace `ns` ("" for an unqualified one).
  std::optional<std::string> attribute(std::string_view local, std::string_view ns = "") const;
  // All character data inside the element, in document order.
  std::string text() const;

  std::vector<Xml_Element> children() const;
  // Direct child elements with that namespace and local name.
  std::vector<Xml_Element> children(std::string_view ns, std::string_view local) const;
  std::optional<Xml_Element> first_child(std::string_view ns, std::string_view local) const;
  // Elements with that namespace and local name at any depth below this one
  // (this one excluded), in document order; inside mc:AlternateContent as
  // `alternates` says.
  std::vector<Xml_Element> descendants(std::string_view ns, std::string_view local,
                                      Alternates alternates = Alternates::all) const;

  friend bool operator==(const Xml_Element& a, const Xml_Element& b) { return a.node_ == b.node_; }

 private:
  friend struct detail::Access;
  friend class Xml_Document;
  explicit Xml_Element(_xmlNode* node) : node_(node) {}

  _xmlNode* node_;
};

class Xml_Document {
 public:
  // Throws travo::docx::Error (with the line of the fault) for XML that is not well
  // formed or that declares a document type.
  static Xml_Document parse(std::string_view xml);

  Xml_Document(Xml_Document&&) noexcept;
  Xml_Document& operator=(Xml_Document&&) noexcept;
  ~Xml_Document();

  Xml_Element root() const;

 private:
  friend struct detail::Access;
  Xml_Document();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace travo::docx
