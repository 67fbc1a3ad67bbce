// Tables of optimised routines. A family of routines (the inverse transform,
// the colour converters) keeps its entry points in one table. The table
// starts as the plain set, the reference; then each optimised set whose
// features are all usable overrides the entries it provides, in the order
// listed (the widest last, so it wins). Tests build the table for any
// feature word, so every optimised set can be compared with the plain one.
#pragma once
#include <cstddef>
#include <cstdint>

template <typename Table>
struct KernelSet {
  const char* name;
  uint32_t features;            // CPU_* bits the set needs, all of them
  void (*apply)(Table* table);  // overrides the entries the set has (none when not built)
};

template <typename Table, size_t N>
Table BuildKernelTable(const Table& plain, const KernelSet<Table> (&sets)[N], uint32_t features) {
  Table table = plain;
  for (const KernelSet<Table>& set : sets)
    if ((features & set.features) == set.features) set.apply(&table);
  return table;
}
