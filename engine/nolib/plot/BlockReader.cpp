#include "plot/BlockReader.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "plot/InputError.h"
#include "plot/TextReader.h"

namespace plot {

namespace {

bool startsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// The label and every cell are followed by a tab, so the last field is empty.
void cells(std::string_view line, std::vector<std::string_view>& out) {
  splitTabs(line, out);
  out.erase(out.begin());
  if (!out.empty() && out.back().empty()) out.pop_back();
}

}  // namespace

BlockReport readBlocks(const std::string& path, const std::string& type) {
  TextReader reader;
  if (!reader.open(path)) throwSystem(path, "open the block report", errno);
  BlockReport report;
  std::string currentType;
  bool inBlock = false, wanted = false, haveList = false;
  long long blockLine = 0;
  LdBlock block;
  std::string_view line;
  std::vector<std::string_view> fields;
  auto closeBlock = [&]() {
    if (inBlock && !haveList) throwAtLine(path, blockLine, "block without a SNP_List line");
    if (inBlock && wanted) report.blocks.push_back(block);
    inBlock = false;
  };
  for (;;) {
    TextReader::Status status = reader.next(line);
    if (status == TextReader::Status::kError) throwSystem(path, "read", reader.error());
    if (status == TextReader::Status::kEnd) break;
    long long number = reader.lineNumber();
    if (line.empty()) continue;
    char c = line[0];
    if (c == '!') {
      if (startsWith(line, "!Sample_Type:")) {
        closeBlock();
        currentType = std::string(line.substr(13));
        if (std::find(report.typesSeen.begin(), report.typesSeen.end(), currentType) == report.typesSeen.end()) {
          report.typesSeen.push_back(currentType);
        }
      } else if (startsWith(line, "!Block_No:")) {
        closeBlock();
        block = LdBlock{};
        if (!parseLong(line.substr(10), block.number)) throwAtLine(path, number, "block number is not an integer");
        inBlock = true;
        haveList = false;
        blockLine = number;
        wanted = currentType == type;
      }
      continue;
    }
    if (c != 'S') continue;
    if (startsWith(line, "SNP_List\t")) {
      if (!inBlock) throwAtLine(path, number, "SNP_List before any !Block_No: line");
      // A second list would be paired with the identifiers of the first one
      // and the messages would then name the wrong SNPs.
      if (haveList) throwAtLine(path, number, "second SNP_List line in one block");
      cells(line, fields);
      if (fields.empty()) throwAtLine(path, number, "SNP_List without SNPs");
      block.snps.clear();
      for (std::string_view f : fields) {
        long long k = 0;
        if (!parseLong(f, k) || k < 1) throwAtLine(path, number, "SNP_List entry \"" + std::string(f) + "\" is not a 1-based SNP index");
        if (!block.snps.empty() && k - 1 <= block.snps.back()) throwAtLine(path, number, "SNP_List not in ascending order");
        block.snps.push_back(k - 1);
      }
      block.line = number;
      haveList = true;
    } else if (startsWith(line, "SNP_ID\t")) {
      if (!haveList) throwAtLine(path, number, "SNP_ID before the SNP_List line");
      cells(line, fields);
      if (fields.size() != block.snps.size()) throwAtLine(path, number, "SNP_ID count differs from the SNP_List count");
      block.ids.assign(fields.begin(), fields.end());
    }
  }
  closeBlock();
  return report;
}

}  // namespace plot
