// Integer arrays read through the buffer protocol, without an int object per item.
#pragma once

#include <vector>

#include "core.hpp"
#include "python.hpp"

namespace korvane::binding {

enum class BufferRead { read, declined, failed };

// An array of integers in the machine's own layout, one dimension, contiguous
// (array.array, a numpy array, a memoryview of either), into `ids`; a negative
// item fails with the generic conversion's OverflowError. Anything else is
// declined, for the generic conversion.
BufferRead read_int_buffer(PyObject* object, std::vector<vertex_t>& ids);

}  // namespace korvane::binding
