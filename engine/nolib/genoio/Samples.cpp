#include "genoio/Samples.h"

#include <cerrno>
#include <cstdio>
#include <map>
#include <unordered_map>

#include "genoio/Error.h"

namespace genoio {

std::vector<std::string_view> whitespaceFields(std::string_view line) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i == line.size()) break;
    size_t start = i;
    while (i < line.size() && !blank(line[i])) ++i;
    fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

namespace {

bool hasWhitespace(std::string_view text) {
  for (char c : text)
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') return true;
  return false;
}

}  // namespace

void checkSampleIds(const std::vector<std::string>& ids, const std::string& source) {
  std::unordered_map<std::string_view, size_t> seen;
  seen.reserve(ids.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    const std::string& id = ids[i];
    if (id.empty()) throw Error(source + ": sample " + std::to_string(i + 1) + " has an empty identifier");
    if (id.find_first_of("\t\n\r") != std::string::npos)
      throw Error(source + ": sample identifier '" + id +
                  "' holds a tab or line break, which the genotype file cannot hold");
    auto [it, fresh] = seen.emplace(id, i);
    if (!fresh)
      throw Error(source + ": sample identifier '" + id + "' is given twice (samples " +
                  std::to_string(it->second + 1) + " and " + std::to_string(i + 1) + ")");
  }
}

TypesFile TypesFile::read(const std::string& path) {
  FILE* fp = fopen(path.c_str(), "rb");
  if (!fp) throw Error(systemMessage(path, "cannot open the types file"));
  TypesFile file;
  std::unordered_map<std::string, long long> lineOf;
  char* buffer = nullptr;
  size_t capacity = 0;
  long long number = 0;
  ssize_t got;
  errno = 0;
  std::string failure;
  while ((got = getline(&buffer, &capacity, fp)) >= 0) {
    ++number;
    std::string_view line(buffer, static_cast<size_t>(got));
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() == '#') continue;
    std::vector<std::string_view> fields = whitespaceFields(line);
    if (fields.empty()) continue;
    std::string where = path + ": line " + std::to_string(number) + ": ";
    if (fields.size() == 1) {
      failure = where + "sample '" + std::string(fields[0]) + "' has no type (two columns expected: sample, type)";
      break;
    }
    if (fields.size() > 2) {
      failure = where + std::to_string(fields.size()) +
                " columns; a sample identifier or type may not hold whitespace (two columns expected: sample, type)";
      break;
    }
    std::string id(fields[0]);
    auto [it, fresh] = lineOf.emplace(id, number);
    if (!fresh) {
      failure = where + "sample '" + id + "' was already given a type on line " + std::to_string(it->second);
      break;
    }
    file.m_ids.push_back(std::move(id));
    file.m_types.emplace_back(fields[1]);
    errno = 0;
  }
  bool readError = failure.empty() && ferror(fp);
  int saved = errno;
  free(buffer);
  fclose(fp);
  if (!failure.empty()) throw Error(failure);
  if (readError) {
    errno = saved ? saved : EIO;
    throw Error(systemMessage(path, "read error after line " + std::to_string(number)));
  }
  return file;
}

size_t TypesFile::apply(SampleTable& samples, std::vector<std::string>& unknownFirst, size_t maxNames) const {
  std::unordered_map<std::string_view, size_t> index;
  index.reserve(samples.ids.size());
  for (size_t i = 0; i < samples.ids.size(); ++i) index.emplace(samples.ids[i], i);
  size_t unknown = 0;
  for (size_t k = 0; k < m_ids.size(); ++k) {
    auto it = index.find(m_ids[k]);
    if (it == index.end()) {
      if (unknownFirst.size() < maxNames) unknownFirst.push_back(m_ids[k]);
      ++unknown;
      continue;
    }
    samples.types[it->second] = m_types[k];
  }
  return unknown;
}

std::string typesFileText(const SampleTable& samples, const std::string& forFile) {
  std::string text = "#sample\ttype\n";
  for (size_t i = 0; i < samples.ids.size(); ++i) {
    if (hasWhitespace(samples.ids[i]))
      throw Error(forFile + ": sample identifier '" + samples.ids[i] +
                  "' holds whitespace, which a types file cannot hold");
    if (samples.types[i].empty() || hasWhitespace(samples.types[i]))
      throw Error(forFile + ": the type of sample '" + samples.ids[i] +
                  "' is empty or holds whitespace, which a types file cannot hold");
    text += samples.ids[i];
    text += '\t';
    text += samples.types[i];
    text += '\n';
  }
  return text;
}

std::vector<std::pair<std::string, size_t>> countTypes(const SampleTable& samples) {
  std::map<std::string, size_t> counts;
  for (const std::string& t : samples.types) ++counts[t];
  return {counts.begin(), counts.end()};
}

}  // namespace genoio
