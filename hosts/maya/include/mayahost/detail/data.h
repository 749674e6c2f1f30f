// Stand-in host internals that the data-block classes read inline.
//
// Shading reads several dozen values per sample; keeping those reads inline
// (a pointer add and a load) rather than one exported call each is what keeps
// the host's share of a sample small. Nothing here is part of the host's public
// interface: plug-ins never name it, they only call MDataBlock and friends.
#ifndef MAYAHOST_DETAIL_DATA_H
#define MAYAHOST_DETAIL_DATA_H

#include <maya/MExport.h>
#include <maya/MFloatVector.h>
#include <maya/MObject.h>

#include <atomic>

namespace mayahost::detail {

// One value of a data block. A numeric compound of three (a colour, a vector)
// uses all of `value` and its children read one component each; a float uses
// value.x, a boolean `flag`, an address `address`.
struct Cell {
  MFloatVector value;
  bool flag = false;
  bool dirty = true;
  void* address = nullptr;
};

// The attribute facts the inline accessors need. Every attribute the host
// creates has one; MObject handles on attributes point at it.
struct AttrSlot {
  const void* owner = nullptr;  // node type whose data blocks hold it; null if none
  const AttrSlot* parent = nullptr;
  int offset = -1;         // cell index in the block (roots) or in its array element
  int component = -1;      // 0..2 for a child of a numeric compound, else -1
  int arrayIndex = -1;     // for an array attribute: which array of the block
  bool inElement = false;  // lives inside an array element
  int blockOffset = -1;    // `offset` if a block holds it outside arrays, else -1
  // The type, for the attributes its blocks hold at top level / as arrays;
  // null otherwise. One comparison then decides the shading-path lookups.
  const void* blockOwner = nullptr;
  const void* arrayOwner = nullptr;
  void* record = nullptr;  // the host's full record of the attribute
};

struct ArrayView {
  Cell* elements = nullptr;
  unsigned count = 0;
  unsigned elementCells = 0;
};

struct AccessLog;

struct BlockView {
  // Equal to `type` while look-ups may take the fast path; anything else
  // (here: the view itself, while accesses are logged) sends them through
  // the host's checked path.
  const void* key = nullptr;
  const void* type = nullptr;
  Cell* fixed = nullptr;
  ArrayView* arrays = nullptr;
  AccessLog* log = nullptr;  // non-null only when a test asked to see the accesses
};

struct Access {
  // The attribute facts of a handle: &noAttribute unless it is on an attribute.
  static const AttrSlot* slot(const MObject& o) { return o.slot_; }
  static void* pointer(const MObject& o) { return o.ptr_; }
  static bool isNode(const MObject& o) { return o.kind_ == MObject::Kind::kNode; }
  static bool isPlugin(const MObject& o) { return o.kind_ == MObject::Kind::kPlugin; }
  static MObject attribute(AttrSlot* s) { return MObject(s, s, MObject::Kind::kAttribute); }
  static MObject node(void* n) { return MObject(n, &noAttribute, MObject::Kind::kNode); }
  static MObject plugin(void* p) { return MObject(p, &noAttribute, MObject::Kind::kPlugin); }
};

// An array with no elements, for array handles on nothing.
OPENMAYA_EXPORT extern const ArrayView noArray;

// Where reads through an invalid handle land: one per thread, so a bad read is
// harmless and never races.
OPENMAYA_EXPORT Cell& scratchCell();

// Slow paths, taken only when a test has armed them.
OPENMAYA_EXPORT extern std::atomic<bool> faultsArmed;
OPENMAYA_EXPORT bool failArrayNext();

}  // namespace mayahost::detail

#endif  // MAYAHOST_DETAIL_DATA_H
