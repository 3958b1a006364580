#include "marlo/HaplotypeResultFiles.h"

#include "common_sgt/Console.h"

HaplotypeResultFiles::~HaplotypeResultFiles() { close(); }

bool HaplotypeResultFiles::open(const std::string& inputFile, const char* prefix, const char* who) {
  close();
  m_names[0] = inputFile + prefix + ".ihap";
  m_names[1] = inputFile + prefix + ".phap";
  m_names[2] = inputFile + prefix + ".hblk";
  individual = fopen(m_names[0].c_str(), "w");
  population = fopen(m_names[1].c_str(), "w");
  if (!individual || !population) {
    printFlushed("%s - cannot open hap1 and/or hap2 file for result!\n", who);
    discard();
    return false;
  }
  block = fopen(m_names[2].c_str(), "w");
  if (!block) {
    printFlushed("%s - cannot open hblk file for result!\n", who);
    discard();
    return false;
  }
  return true;
}

bool HaplotypeResultFiles::close() {
  bool ok = true;
  FILE** files[3] = {&individual, &population, &block};
  for (int i = 0; i < 3; ++i) {
    FILE*& fp = *files[i];
    if (!fp) continue;
    const bool failed = ferror(fp) != 0;
    if (fclose(fp) != 0 || failed) {
      printFlushed("cannot write the result file %s completely\n", m_names[i].c_str());
      ok = false;
    }
    fp = nullptr;
  }
  return ok;
}

void HaplotypeResultFiles::discard() {
  FILE** files[3] = {&individual, &population, &block};
  for (int i = 0; i < 3; ++i) {
    FILE*& fp = *files[i];
    if (!fp) continue;
    fclose(fp);
    fp = nullptr;
    remove(m_names[i].c_str());
  }
}
