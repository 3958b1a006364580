#pragma once
#include <vector>

// A growable array of fixed-size elements (bytes unless init says otherwise).
class Vector {
 public:
  Vector();
  virtual ~Vector();
  void init(int elementSize);
  void push_back(const void* element);
  // First byte of element i; raises Exception("IndexOutOfBounds") outside.
  unsigned char* at(int i);
  int size() const { return m_count; }
  int capacity() const { return m_capacity; }

 private:
  static constexpr int kStep = 512;
  int m_capacity = kStep;
  int m_count = 0;
  int m_elementSize = 1;
  std::vector<unsigned char> m_storage;
};
