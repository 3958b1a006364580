#pragma once
#include <string>
#include <vector>

// The growable list of sample-type texts the flagging command keeps.
class AffectionVector {
 public:
  AffectionVector();
  virtual ~AffectionVector();
  void add(const char* text);
  // Item i, or the not-found text for an index outside the list.
  const char* get(int i) const;
  int count() const { return m_count; }
  int capacity() const { return m_capacity; }

 private:
  int m_growthStep = 2048;
  int m_count = 0;
  int m_capacity = 2048;
  const char* m_notFound = "I_CANT_FIND_AFFECTION";
  std::vector<std::string> m_items;
};
