// The node a handle (Paragraph, Run, Table, Row, Cell) stands for, counted
// while the handle lives. Removing content frees it at once unless a handle
// still stands for some of it; counted content is kept until the Document
// goes, so that a handle never dangles. Not for use outside the library.
#pragma once

struct _xmlNode;

namespace travo::docx::detail {

struct Context;
struct Hold_Registry;

class Node_Hold {
 public:
  Node_Hold(_xmlNode* node, Context* ctx);
  Node_Hold(const Node_Hold& other);
  Node_Hold& operator=(const Node_Hold& other);
  ~Node_Hold();

  operator _xmlNode*() const { return node_; }
  _xmlNode* operator->() const { return node_; }

 private:
  void acquire();
  void release();

  _xmlNode* node_;
  Hold_Registry* registry_;
};

}  // namespace travo::docx::detail
