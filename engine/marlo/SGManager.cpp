#include "SGManager.h"

#include <cstdio>

#include "common_sgt/SafeFiles.h"
#include "marlo/HaplotypeResultFiles.h"

SGManager::SGManager() = default;
SGManager::~SGManager() = default;

bool SGManager::setInputFile(const char* fileName) {
  m_inputFile = fileName ? fileName : "";
  return true;
}

bool SGManager::loadSampleType(const char* sampleTypeName) {
  return genoData.loadData(m_inputFile.c_str(), sampleTypeName);
}

bool SGManager::beginHaplotypeCommand(HaplotypeResultFiles& files, const char* suffix, const char* who) {
  // Every sample type reads the input again; a result that is the input
  // would wipe it when opened.
  const std::string base = m_inputFile + suffix;
  if (!requireRegularInput(m_inputFile.c_str(), who) ||
      !refuseResultsOverInputs({base + ".ihap", base + ".phap", base + ".hblk"}, {m_inputFile}, who))
    return false;
  if (!files.open(m_inputFile, suffix, who)) return false;
  if (!genoData.loadHeader(m_inputFile.c_str())) {
    if (genoData.headerState() == GenoData::HeaderState::kMalformed) printf("%s - loadData failed\n", who);
    fflush(stdout);
    files.discard();
    return false;
  }
  return true;
}

bool SGManager::loadForHaplotypeCommand(HaplotypeResultFiles& files, const std::string& typeName, bool wrote,
                                        const char* who) {
  if (loadSampleType(typeName.c_str())) return true;
  printf("%s - loadData failed\n", who);
  fflush(stdout);
  if (wrote)
    files.close();
  else
    files.discard();
  return false;
}
