#include "ld/ManualBlockList.h"

#include <strings.h>

#include <cstdint>
#include <cstdio>

#include "common_sgt/FileUtil.h"

namespace {

bool allDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// The 0-based index of a 1-based decimal text; a number too large for any
// list saturates (it is then beyond every SNP anyway).
long long zeroBased(const std::string& digits) {
  constexpr long long kCap = INT64_MAX / 10 - 10;
  long long v = 0;
  for (char c : digits) {
    v = v * 10 + (c - '0');
    if (v > kCap) {
      v = kCap;
      break;
    }
  }
  return v - 1;
}

ManualBlockOutcome abortWith(const char* message, const std::string& item, const char* errorText) {
  printf(message, item.c_str());
  ManualBlockOutcome out;
  out.kind = ManualBlockOutcome::Kind::kAbort;
  out.errorText = errorText;
  return out;
}

}  // namespace

ManualBlockOutcome readManualBlocks(const std::string& list, int snpCount, const std::string& sampleType) {
  ManualBlockOutcome out;
  if (list.empty()) return out;
  printf("## LD Block Reconstruction For %s\n", list.c_str());

  std::vector<std::string> items;
  split(list, items, ",");
  for (const std::string& item : items) {
    std::vector<std::string> ends;
    split(item, ends, "-");
    if (ends.size() != 2)
      return abortWith("Abort: LD Block index pair is incorrect :%s\n", item,
                       "Abort: LD Block index pair is incorrect");
    printf("Block for idx %s [%s]-[%s]\n", item.c_str(), ends[0].c_str(), ends[1].c_str());
    if (strcasecmp(ends[0].c_str(), "begin") == 0) ends[0] = "1";
    if (strcasecmp(ends[1].c_str(), "end") == 0) ends[1] = std::to_string(snpCount);
    printf("Block for idx [%s]-[%s]\n", ends[0].c_str(), ends[1].c_str());
    if (!allDigits(ends[0]) || !allDigits(ends[1]))
      return abortWith("Abort: LD Block index pair is not digit :%s\n", item,
                       "Abort: LD Block index pair is not digit");

    long long from = zeroBased(ends[0]);
    long long to = zeroBased(ends[1]);
    if (to < from)
      return abortWith("Abort: LD Block index pair is incorrect :%s\n", item,
                       "Abort: LD Block index pair is incorrect");
    // Indices are 1-based: "0" names no SNP, like an index past the last.
    if (from < 0 || from >= snpCount) {
      printf("cannot find actual idxFrom::id of %lld\n", from);
      out = ManualBlockOutcome();
      out.kind = ManualBlockOutcome::Kind::kAbort;
      out.errorText = "cannot find actual idxFrom::id";
      return out;
    }
    if (to > snpCount - 1) {
      printf("cannot find actual idxTo::id of %lld\n", to);
      out = ManualBlockOutcome();
      out.kind = ManualBlockOutcome::Kind::kAbort;
      out.errorText = "cannot find actual idxTo::id";
      return out;
    }
    if (to < 0) to = 0;
    if (to <= from) {
      printf("Not valid snp index in this sample type %s :%s ==>%lld~%lld/%d\n", sampleType.c_str(), item.c_str(),
             from, to, snpCount);
      out = ManualBlockOutcome();
      out.kind = ManualBlockOutcome::Kind::kOneSnpRange;
      return out;
    }
    LDBlock block(static_cast<int>(from), static_cast<int>(from) + 1);
    for (long long k = from + 2; k <= to; ++k) block.snps.push_back(static_cast<int>(k));
    out.blocks.push_back(std::move(block));
  }
  out.kind = ManualBlockOutcome::Kind::kBlocks;
  return out;
}
