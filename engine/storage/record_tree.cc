#include "engine/storage/record_tree.h"

#include <algorithm>

#include "engine/storage/corruption.h"

namespace vantrose {

namespace {
// Check codes.
constexpr uint32_t kCheckBrokenParentLink = 300;
constexpr uint32_t kCheckRecordNotInPage = 780;

RecordNode* Leftmost(RecordNode* node) {
  while (node->left != nullptr) node = node->left;
  return node;
}
RecordNode* Rightmost(RecordNode* node) {
  while (node->right != nullptr) node = node->right;
  return node;
}
}  // namespace

RecordNode* RecordTree::Floor(KeyBytes key) const {
  RecordNode* best = nullptr;
  for (RecordNode* node = root_; node != nullptr;) {
    const int order = CompareKeys(node->key(), key);
    if (order == 0) return node;
    if (order < 0) {
      best = node;
      node = node->right;
    } else {
      node = node->left;
    }
  }
  return best;
}

RecordNode* RecordTree::Before(KeyBytes key) const {
  RecordNode* best = nullptr;
  for (RecordNode* node = root_; node != nullptr;) {
    if (CompareKeys(node->key(), key) < 0) {
      best = node;
      node = node->right;
    } else {
      node = node->left;
    }
  }
  return best;
}

RecordNode* RecordTree::After(KeyBytes key) const {
  RecordNode* best = nullptr;
  for (RecordNode* node = root_; node != nullptr;) {
    if (CompareKeys(node->key(), key) > 0) {
      best = node;
      node = node->left;
    } else {
      node = node->right;
    }
  }
  return best;
}

RecordNode* RecordTree::First() const { return root_ == nullptr ? nullptr : Leftmost(root_); }
RecordNode* RecordTree::Last() const { return root_ == nullptr ? nullptr : Rightmost(root_); }

RecordNode* RecordTree::Next(const RecordNode* node) {
  if (node->right != nullptr) return Leftmost(node->right);
  const RecordNode* child = node;
  RecordNode* up = node->parent;
  while (up != nullptr && up->right == child) {
    child = up;
    up = up->parent;
  }
  return up;
}

RecordNode* RecordTree::Previous(const RecordNode* node) {
  if (node->left != nullptr) return Rightmost(node->left);
  const RecordNode* child = node;
  RecordNode* up = node->parent;
  while (up != nullptr && up->left == child) {
    child = up;
    up = up->parent;
  }
  return up;
}

void RecordTree::Replace(RecordNode* old_child, RecordNode* parent, RecordNode* new_child) {
  if (parent == nullptr) {
    root_ = new_child;
  } else if (parent->left == old_child) {
    parent->left = new_child;
  } else {
    parent->right = new_child;
  }
  if (new_child != nullptr) new_child->parent = parent;
}

void RecordTree::RotateLeft(RecordNode* t) {
  RecordNode* r = t->right;
  Replace(t, t->parent, r);
  t->right = r->left;
  if (t->right != nullptr) t->right->parent = t;
  r->left = t;
  t->parent = r;
  t->size = 1 + SizeOf(t->left) + SizeOf(t->right);
  r->size = 1 + t->size + SizeOf(r->right);
}

void RecordTree::RotateRight(RecordNode* t) {
  RecordNode* l = t->left;
  Replace(t, t->parent, l);
  t->left = l->right;
  if (t->left != nullptr) t->left->parent = t;
  l->right = t;
  t->parent = l;
  t->size = 1 + SizeOf(t->left) + SizeOf(t->right);
  l->size = 1 + SizeOf(l->left) + t->size;
}

bool RecordTree::Insert(RecordNode* node) {
  RecordNode* parent = nullptr;
  bool to_left = false;
  for (RecordNode* at = root_; at != nullptr;) {
    const int order = CompareKeys(node->key(), at->key());
    if (order == 0) return false;
    parent = at;
    to_left = order < 0;
    at = to_left ? at->left : at->right;
  }
  node->left = node->right = nullptr;
  node->size = 1;
  node->parent = parent;
  node->linked = true;
  if (parent == nullptr) {
    root_ = node;
    return true;
  }
  (to_left ? parent->left : parent->right) = node;
  // Back up the path: count the new node and rebalance by weight.
  for (RecordNode* t = parent; t != nullptr;) {
    t->size += 1;
    RecordNode* up = t->parent;
    const uint32_t left_size = SizeOf(t->left);
    const uint32_t right_size = SizeOf(t->right);
    if (right_size > left_size && SizeOf(t->right->right) >= left_size) {
      RotateLeft(t);
    } else if (left_size > right_size && SizeOf(t->left->left) >= right_size) {
      RotateRight(t);
    }
    t = up;
  }
  return true;
}

void RecordTree::Detach(RecordNode* node) {
  RecordNode* replacement = nullptr;
  RecordNode* parent = node->parent;
  if (node->left != nullptr || node->right != nullptr) {
    // The nearest record of the heavier subtree takes the node's place.
    const bool from_left = SizeOf(node->left) > SizeOf(node->right);
    replacement = from_left ? Rightmost(node->left) : Leftmost(node->right);
    // Unhook the replacement from its own place (it has at most one child).
    RecordNode* rp = replacement->parent;
    RecordNode* orphan = from_left ? replacement->left : replacement->right;
    if (rp != node) {
      Replace(replacement, rp, orphan);
      for (RecordNode* t = rp; t != node; t = t->parent) t->size -= 1;
    } else if (from_left) {
      node->left = orphan;
      if (orphan != nullptr) orphan->parent = node;
    } else {
      node->right = orphan;
      if (orphan != nullptr) orphan->parent = node;
    }
    replacement->left = node->left;
    replacement->right = node->right;
    if (replacement->left != nullptr) replacement->left->parent = replacement;
    if (replacement->right != nullptr) replacement->right->parent = replacement;
    replacement->size = node->size - 1;
  }
  Replace(node, parent, replacement);
  for (RecordNode* t = parent; t != nullptr; t = t->parent) t->size -= 1;
  node->left = node->right = node->parent = nullptr;
  node->size = 1;
  node->linked = false;
}

void RecordTree::Remove(RecordNode* node) {
  RecordNode* at = root_;
  while (at != nullptr) {
    const int order = CompareKeys(node->key(), at->key());
    if (order == 0) break;
    at = order < 0 ? at->left : at->right;
  }
  if (at != node) ReportCorruption(kCheckRecordNotInPage);
  Detach(node);
}

void RecordTree::Unlink(RecordNode* node) {
  RecordNode* parent = node->parent;
  if (parent == nullptr ? root_ != node : (parent->left != node && parent->right != node)) {
    ReportCorruption(kCheckBrokenParentLink);
  }
  Detach(node);
}

RecordNode* RecordTree::BuildBalanced(const std::vector<RecordNode*>& sorted, size_t begin, size_t end,
                                      RecordNode* parent) {
  if (begin == end) return nullptr;
  const size_t middle = begin + (end - begin) / 2;
  RecordNode* node = sorted[middle];
  node->parent = parent;
  node->linked = true;
  node->size = uint32_t(end - begin);
  node->left = BuildBalanced(sorted, begin, middle, node);
  node->right = BuildBalanced(sorted, middle + 1, end, node);
  return node;
}

void RecordTree::Assign(const std::vector<RecordNode*>& sorted) {
  Clear();
  root_ = BuildBalanced(sorted, 0, sorted.size(), nullptr);
}

RecordNode* RecordTree::TakeAll() {
  RecordNode* root = root_;
  root_ = nullptr;
  return root;
}

void RecordTree::Adopt(RecordNode* root) {
  Clear();
  root_ = root;
  if (root_ != nullptr) root_->parent = nullptr;
}

RecordTree::Halves RecordTree::SplitAtRoot() {
  RecordNode* middle = root_;
  RecordNode* right = middle->right;
  root_ = middle->left;
  if (root_ != nullptr) root_->parent = nullptr;
  if (right != nullptr) right->parent = nullptr;
  middle->left = middle->right = middle->parent = nullptr;
  middle->size = 1;
  middle->linked = false;
  return {middle, right};
}

RecordNode* RecordTree::SplitBefore(const RecordNode* first_moved) {
  std::vector<RecordNode*> kept;
  kept.reserve(count());
  ForEach([&](RecordNode* node) { kept.push_back(node); });
  const auto at = std::find(kept.begin(), kept.end(), first_moved);
  const std::vector<RecordNode*> moved(at, kept.end());
  kept.erase(at, kept.end());
  root_ = BuildBalanced(kept, 0, kept.size(), nullptr);
  return BuildBalanced(moved, 0, moved.size(), nullptr);
}

void RecordTree::Clear() {
  // Iterative post-order free: no recursion on a tree read from a file.
  RecordNode* node = root_;
  root_ = nullptr;
  while (node != nullptr) {
    if (node->left != nullptr) {
      RecordNode* next = node->left;
      node->left = nullptr;
      node = next;
    } else if (node->right != nullptr) {
      RecordNode* next = node->right;
      node->right = nullptr;
      node = next;
    } else {
      RecordNode* up = node->parent;
      RecordNodeDeleter()(node);
      node = up;
    }
  }
}

}  // namespace vantrose
