#include "SGManager.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common_sgt/Parallel.h"
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

namespace {

// What one sample type produced: its console text and, unless skipped, its
// three sections.
struct TypeResult {
  std::string out;
  std::string err;
  bool loaded = false;
  bool skipped = false;
  bool ok = true;
  bool wrote = false;
  std::string sections[3];  // individual, population, block
};

// The text a memory stream holds once closed.
bool closeInto(FILE*& fp, char*& buffer, size_t& size, std::string& text) {
  const bool ok = fp && !ferror(fp) && fclose(fp) == 0;
  fp = nullptr;
  if (ok && buffer) text.assign(buffer, size);
  free(buffer);
  buffer = nullptr;
  return ok;
}

}  // namespace

bool SGManager::estimateTypes(HaplotypeResultFiles& files, const std::vector<int>& types, unsigned workers,
                              const char* who, const TypeEstimate& estimate, bool& loadFailed) {
  loadFailed = false;
  // A type's sections are about the size of its genotypes: room for four of
  // the file's size per type in flight would be generous.
  const size_t window = orderedWindow(workers, 0);
  std::vector<TypeResult> slots(window);
  auto compute = [&](int64_t task, unsigned) {
    TypeResult& r = slots[static_cast<size_t>(task % static_cast<int64_t>(window))];
    r = TypeResult();
    ConsoleCapture capture(r.out, &r.err);
    const int t = types[static_cast<size_t>(task)];
    GenoData data = genoData;
    r.loaded = data.loadData(m_inputFile.c_str(), data.sampleTypeTable[t].name.c_str());
    if (!r.loaded) return;
    if (data.m_nummarker == 0 || data.m_numindiv == 0) {
      r.skipped = true;
      return;
    }
    HaplotypeResultFiles memory;
    char* buffers[3] = {nullptr, nullptr, nullptr};
    size_t sizes[3] = {0, 0, 0};
    FILE** streams[3] = {&memory.individual, &memory.population, &memory.block};
    bool opened = true;
    for (int k = 0; k < 3; ++k) {
      *streams[k] = open_memstream(&buffers[k], &sizes[k]);
      if (!*streams[k]) opened = false;
    }
    if (opened) {
      r.ok = estimate(data, t, memory, r.wrote);
    } else {
      consolePrintf("%s - not enough memory for the sections of sample type %s\n", who,
                    data.sampleTypeTable[t].name.c_str());
      r.ok = false;
    }
    for (int k = 0; k < 3; ++k) {
      if (!closeInto(*streams[k], buffers[k], sizes[k], r.sections[k]) && opened) {
        consolePrintf("%s - not enough memory for the sections of sample type %s\n", who,
                      data.sampleTypeTable[t].name.c_str());
        r.ok = false;
      }
    }
  };
  bool ok = true;
  bool wrote = false;
  auto emit = [&](int64_t task) {
    const TypeResult& r = slots[static_cast<size_t>(task % static_cast<int64_t>(window))];
    fwrite(r.out.data(), 1, r.out.size(), stdout);
    if (!r.err.empty()) consoleErrorText(r.err);
    if (!r.loaded) {
      printf("%s - loadData failed\n", who);
      fflush(stdout);
      if (wrote)
        files.close();
      else
        files.discard();
      loadFailed = true;
      return false;
    }
    if (r.skipped) return true;
    FILE* targets[3] = {files.individual, files.population, files.block};
    for (int k = 0; k < 3; ++k) fwrite(r.sections[k].data(), 1, r.sections[k].size(), targets[k]);
    if (r.wrote) wrote = true;
    if (!r.ok) ok = false;
    fflush(stdout);
    return true;
  };
  runOrdered(workers, static_cast<int64_t>(types.size()), window, compute, emit);
  return ok && !loadFailed;
}
