#pragma once
#include <climits>
#include <string>
#include <vector>

// The progress display an analysis object owns: a list of weighted tasks and
// "#tasklist=", "#v=", "#m=" lines on standard error while enabled.
class ProgressSgt {
 public:
  ProgressSgt();
  virtual ~ProgressSgt();

  bool addTask(const char* name, int weight);
  int getWeight(unsigned i) const;
  bool showTaskList();
  bool showValue(unsigned i, int value);
  bool setCurrent(unsigned i);
  bool show(int value);
  bool setWeight(unsigned i, int weight);
  void setEnabled(bool enabled) { m_enabled = enabled; }
  bool isEnabled() const { return m_enabled; }
  unsigned taskCount() const { return m_count; }
  unsigned capacity() const { return m_capacity; }

 private:
  static constexpr unsigned kGrowth = 32;
  unsigned m_count = 0;
  unsigned m_capacity = kGrowth;
  std::vector<int> m_weights;
  unsigned m_current = 0;
  std::vector<std::string> m_names;
  bool m_enabled = false;
};

// Progress amounts of byte-sized work (file positions, file sizes) are ints:
// clamped to 0 ... INT_MAX so a file over 2 GiB still reports sensibly.
inline int clampProgress(long long amount) {
  if (amount > INT_MAX) return INT_MAX;
  if (amount < 0) return 0;
  return static_cast<int>(amount);
}
