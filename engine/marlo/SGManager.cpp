#include "SGManager.h"

SGManager::SGManager() = default;
SGManager::~SGManager() = default;

bool SGManager::setInputFile(const char* fileName) {
  m_inputFile = fileName ? fileName : "";
  return true;
}

bool SGManager::loadSampleType(const char* sampleTypeName) {
  return genoData.loadData(m_inputFile.c_str(), sampleTypeName);
}
