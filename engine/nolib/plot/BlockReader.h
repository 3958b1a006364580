#pragma once
#include <string>
#include <vector>

// The blocks of one sample type from a PWLD block report (.ld.hblk): number,
// SNP indices and identifiers. The haplotype and individual lines, which
// make up nearly all of the file, are skipped unread.
//
// Accepts: records of "!" header lines with "!Sample_Type:" and
// "!Block_No:", then "SNP_List" and "SNP_ID" lines.
// Refuses (InputError with file and line): a non-numeric block number; a
// SNP_List whose entries are not 1-based integers in ascending order; a
// SNP_ID line whose count differs from its SNP_List; a second SNP_List in
// one block; a SNP_List before any
// "!Block_No:" line or a block without a SNP_List.
namespace plot {

struct LdBlock {
  long long number = 0;
  std::vector<long long> snps;  // 0-based, ascending
  std::vector<std::string> ids;
  long long line = 0;           // of its SNP_List, for messages
};

struct BlockReport {
  std::vector<LdBlock> blocks;
  std::vector<std::string> typesSeen;
};

BlockReport readBlocks(const std::string& path, const std::string& type);

}  // namespace plot
