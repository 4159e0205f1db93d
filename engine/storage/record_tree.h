// RecordTree: the records of one page in memory, as a weight-balanced binary
// search tree ordered by CompareKeys.
//
// Each node knows the number of records in its subtree (RecordNode::size).
// Insertion descends to an empty subtree and, on the way back, rotates a node
// t with children l and r left when size(r) > size(l) and size(r.right) >=
// size(l), right in the mirror case. Removal puts in a node's place the
// nearest record of its heavier subtree (the predecessor when the left
// subtree is larger, else the successor) without rotations. A page read from
// disk gets a perfectly balanced tree (Assign).
//
// Invariants: every linked node's size is 1 + the sizes of its subtrees; its
// parent link names the node whose left or right it is (none for the root);
// keys strictly increase in order. The tree owns its nodes.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/record_node.h"

namespace vantrose {

class RecordTree {
 public:
  RecordTree() = default;
  RecordTree(const RecordTree&) = delete;
  RecordTree& operator=(const RecordTree&) = delete;
  ~RecordTree() { Clear(); }

  uint32_t count() const { return root_ == nullptr ? 0 : root_->size; }
  bool empty() const { return root_ == nullptr; }
  RecordNode* root() const { return root_; }

  // Greatest record with key <= key / < key; smallest with key > key.
  RecordNode* Floor(KeyBytes key) const;
  RecordNode* Before(KeyBytes key) const;
  RecordNode* After(KeyBytes key) const;
  RecordNode* First() const;
  RecordNode* Last() const;
  // In-order neighbours within the node's own tree, or none.
  static RecordNode* Next(const RecordNode* node);
  static RecordNode* Previous(const RecordNode* node);

  // Links the node in; false (and nothing changed) when its key is present.
  bool Insert(RecordNode* node);
  // Finds the node by its key and unlinks it (report 780 when that key's
  // node is not this one). The caller owns the node afterwards.
  void Remove(RecordNode* node);
  // Unlinks a node reached through the tree's links (a cursor's record);
  // report 300 when its parent does not hold it.
  void Unlink(RecordNode* node);

  // Replaces the (empty) tree by a perfectly balanced one of `sorted`: of n
  // records the first n/2 form the left subtree, the next is the root.
  void Assign(const std::vector<RecordNode*>& sorted);
  // Hands the whole tree over (the root split moves it into a new page).
  RecordNode* TakeAll();
  void Adopt(RecordNode* root);
  // Splits at the root record M: this tree keeps M's left subtree, the
  // returned root is M's right subtree; M itself is returned unlinked.
  struct Halves {
    RecordNode* middle;
    RecordNode* right;
  };
  Halves SplitAtRoot();
  // Splits before `first_moved`, a record of this tree other than its first:
  // this tree keeps the records before it, the returned root holds it and
  // every record after it. Both trees come out perfectly balanced.
  RecordNode* SplitBefore(const RecordNode* first_moved);
  // Frees every node.
  void Clear();

  // Calls f(node) for each record in key order.
  template <typename F>
  void ForEach(F&& f) const {
    for (RecordNode* node = First(); node != nullptr; node = Next(node)) f(node);
  }

 private:
  static uint32_t SizeOf(const RecordNode* node) { return node == nullptr ? 0 : node->size; }
  void Replace(RecordNode* old_child, RecordNode* parent, RecordNode* new_child);
  void RotateLeft(RecordNode* t);
  void RotateRight(RecordNode* t);
  void Detach(RecordNode* node);
  RecordNode* BuildBalanced(const std::vector<RecordNode*>& sorted, size_t begin, size_t end,
                            RecordNode* parent);

  RecordNode* root_ = nullptr;
};

}  // namespace vantrose
