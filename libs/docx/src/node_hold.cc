#include "travo/docx/node_hold.h"

#include "context.h"

namespace travo::docx::detail {

Node_Hold::Node_Hold(_xmlNode* node, Context* ctx) : node_(node), registry_(ctx->registry) {
  acquire();
}

Node_Hold::Node_Hold(const Node_Hold& other) : node_(other.node_), registry_(other.registry_) {
  acquire();
}

Node_Hold& Node_Hold::operator=(const Node_Hold& other) {
  if (this != &other) {
    release();
    node_ = other.node_;
    registry_ = other.registry_;
    acquire();
  }
  return *this;
}

Node_Hold::~Node_Hold() { release(); }

void Node_Hold::acquire() {
  ++registry_->handles;
  if (!registry_->document_gone) add_hold(node_, 1);
}

void Node_Hold::release() {
  if (registry_->document_gone) {
    if (--registry_->handles == 0) delete registry_;
    return;
  }
  add_hold(node_, -1);
  --registry_->handles;
}

}  // namespace travo::docx::detail
