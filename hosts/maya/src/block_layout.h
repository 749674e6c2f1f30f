// Data-block layout (block_layout.cpp): where each attribute's value lives in
// a node type's blocks, fixed once the type's initialize has run, and blocks
// and array elements filled with the attributes' defaults.
#ifndef MAYAHOST_SRC_BLOCK_LAYOUT_H
#define MAYAHOST_SRC_BLOCK_LAYOUT_H

#include "records.h"

namespace mayahost::detail {

// Gives every attribute the type's blocks hold its cell.
void layOut(NodeType& type);
// A new node's block: every value at its default, every array empty.
void initBlock(const NodeType& type, BlockData& data);
// One new element of array `array`, at its defaults.
void fillElement(const NodeType& type, int array, Cell* element);

}  // namespace mayahost::detail

#endif  // MAYAHOST_SRC_BLOCK_LAYOUT_H
