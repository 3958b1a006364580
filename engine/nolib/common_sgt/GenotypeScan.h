#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Scanning primitives for the genotype columns of a marker line, built so
// that a whole chromosome is read at memory speed: no allocation per field,
// no copy of a field, one look at most bytes.

// Walks the tab-separated fields of a text. Every tab ends a field, so a text
// of n tabs has n + 1 fields; an empty text is one empty field and a text
// ending in a tab ends with an empty field. A "\r" is an ordinary byte here:
// the line reader has already taken off the one before "\n".
class TabFieldCursor {
 public:
  explicit TabFieldCursor(std::string_view text) : m_p(text.data()), m_end(text.data() + text.size()) {}

  // The next field; false once the last field was returned.
  bool next(std::string_view& field);
  // Passes over n fields; false when fewer than n were left.
  bool skip(std::size_t n);
  // The text from the start of the next field to the end; empty once done.
  std::string_view rest() const {
    return m_done ? std::string_view() : std::string_view(m_p, static_cast<std::size_t>(m_end - m_p));
  }
  bool done() const { return m_done; }

 private:
  const char* m_p;
  const char* m_end;
  bool m_done = false;
};

// Splits a text at tabs, as TabFieldCursor walks it (empty fields kept);
// the fields point into the text.
void splitTabs(std::string_view text, std::vector<std::string_view>& fields);

// Counts the tab-separated columns of one line by their text. Columns are
// gathered in groups (a sample class, say): column c belongs to group
// groups[c], every column beyond the group list to the extra group
// groupCount(). A column of exactly three bytes is counted under its text, by
// group; the line's distinct three-byte texts are numbered in order of first
// appearance, and every group keeps the order in which it met them. An empty
// column and a column of any other length are not counted but listed. The
// usual genotype ("x/y" and its tab) costs one four-byte look, one table
// look-up and one increment: no copy, no allocation once the tables have
// grown to the data.
class GenotypeColumnScan {
 public:
  struct Irregular {
    std::size_t column;
    bool empty;
  };

  GenotypeColumnScan();

  // Each group number must be below groupCount.
  void setGroups(std::vector<std::uint32_t> groups, std::size_t groupCount);
  std::size_t groupCount() const { return m_groupCount; }

  void scan(std::string_view genotypes);

  std::size_t columns() const { return m_columns; }
  // The columns not of three bytes, in column order.
  const std::vector<Irregular>& irregular() const { return m_irregular; }

  std::size_t distinct() const { return m_texts.size(); }
  // The three bytes of a distinct text, pointing into the scanned line.
  const char* text(std::size_t index) const { return m_texts[index]; }
  // Columns of a group holding a text (group up to groupCount()).
  std::uint32_t count(std::size_t index, std::size_t group) const { return m_counts[index * m_stride + group]; }
  // The texts a group met, in the order it met them.
  const std::vector<std::uint32_t>& firstSeen(std::size_t group) const { return m_firstSeen[group]; }

 private:
  bool scanWholeLine(const char* p, std::size_t size);
  void coverGroups(std::size_t blocks);
  std::uint32_t indexOf(const char* p);
  std::uint32_t addText(const char* p);
  std::uint32_t addSlashText(const char* p, unsigned key);
  void noteFirst(std::size_t group, std::uint32_t index);
  void countText(std::uint32_t index, std::size_t column) {
    const std::size_t group = column < m_groups.size() ? m_groups[column] : m_groupCount;
    if (m_counts[index * m_stride + group]++ == 0) noteFirst(group, index);
  }

  std::vector<std::uint32_t> m_groups;
  std::size_t m_groupCount = 0;
  std::size_t m_stride = 1;  // groupCount + 1
  std::size_t m_columns = 0;
  std::vector<Irregular> m_irregular;
  std::vector<const char*> m_texts;
  std::vector<std::uint32_t> m_counts;  // by text, then group
  std::vector<std::vector<std::uint32_t>> m_firstSeen;
  // index + 1 of a text "a/b", by (a, b); only the slots a line used are
  // reset before the next (the line's own bytes may be gone by then).
  std::vector<std::uint32_t> m_slashSlots;
  std::vector<unsigned> m_usedSlots;
  // The whole-line path (where the processor has the vector instructions):
  // the line's columns as words, then by group and by text the columns as
  // bits, 64 to a word.
  bool m_wholeLine = false;
  std::vector<std::uint32_t> m_words;
  std::vector<std::uint64_t> m_groupBits;  // by group, then block
  std::size_t m_groupBlocks = 0;           // blocks m_groupBits covers
  std::vector<std::uint64_t> m_textBits;   // by text, then block
};

