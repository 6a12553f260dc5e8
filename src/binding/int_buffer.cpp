// Integer arrays read through the buffer protocol.
#include "int_buffer.hpp"

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace korvane::binding {
namespace {

// The items of a contiguous buffer of native integers of type T, negative ones
// refused as the generic conversion refuses them.
template <class T>
bool read_buffer_items(const Py_buffer& view, std::vector<vertex_t>& ids) {
  const std::size_t count = static_cast<std::size_t>(view.len) / sizeof(T);
  ids.resize(count);
  const unsigned char* bytes = static_cast<const unsigned char*>(view.buf);
  for (std::size_t i = 0; i < count; ++i) {
    T value;
    std::memcpy(&value, bytes + i * sizeof(T), sizeof(T));
    if constexpr (std::is_signed_v<T>) {
      if (value < 0) {
        PyErr_SetString(PyExc_OverflowError, "can't convert negative int to unsigned");
        return false;
      }
    }
    ids[i] = static_cast<vertex_t>(value);
  }
  return true;
}

}  // namespace

BufferRead read_int_buffer(PyObject* object, std::vector<vertex_t>& ids) {
  if (!PyObject_CheckBuffer(object)) return BufferRead::declined;
  Py_buffer view;
  if (PyObject_GetBuffer(object, &view, PyBUF_FORMAT | PyBUF_C_CONTIGUOUS) != 0) {
    PyErr_Clear();
    return BufferRead::declined;
  }
  const char* format = view.format != nullptr ? view.format : "B";
  if (*format == '@') ++format;
  const char code = format[1] == '\0' && view.ndim == 1 ? format[0] : '\0';
  bool read = true;
  bool known = true;
  const auto as = [&](auto zero) {
    if (static_cast<std::size_t>(view.itemsize) != sizeof(zero)) known = false;
    else read = read_buffer_items<decltype(zero)>(view, ids);
  };
  switch (code) {
    case 'b': as(static_cast<signed char>(0)); break;
    case 'B': as(static_cast<unsigned char>(0)); break;
    case 'h': as(short{0}); break;
    case 'H': as(static_cast<unsigned short>(0)); break;
    case 'i': as(int{0}); break;
    case 'I': as(0u); break;
    case 'l': as(0l); break;
    case 'L': as(0ul); break;
    case 'q': as(0ll); break;
    case 'Q': as(0ull); break;
    case 'n': as(Py_ssize_t{0}); break;
    case 'N': as(std::size_t{0}); break;
    default: known = false;
  }
  PyBuffer_Release(&view);
  if (!known) return BufferRead::declined;
  return read ? BufferRead::read : BufferRead::failed;
}

}  // namespace korvane::binding
