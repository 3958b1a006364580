#include "genoio/VariantSource.h"

namespace genoio {

const char* skipReasonText(SkipReason reason) {
  switch (reason) {
    case SkipReason::None: return "none";
    case SkipReason::MultiBase: return "indel or multi-base allele";
    case SkipReason::Symbolic: return "symbolic allele";
    case SkipReason::Star: return "'*' allele";
    case SkipReason::NotAcgt: return "N or other non-ACGT allele";
    case SkipReason::RepeatedAllele: return "repeated allele";
    case SkipReason::NotPass: return "FILTER not PASS";
    case SkipReason::NoGenotypes: return "no GT field";
    case SkipReason::Count: break;
  }
  return "?";
}

}  // namespace genoio

namespace genoio {

SkipReason classifyAllele(std::string_view allele, char& base) {
  if (allele.find_first_of("<>[]") != std::string_view::npos) return SkipReason::Symbolic;
  if (allele == "*") return SkipReason::Star;
  if (allele.size() != 1) return SkipReason::MultiBase;
  switch (allele[0]) {
    case 'A': case 'a': base = 'A'; return SkipReason::None;
    case 'C': case 'c': base = 'C'; return SkipReason::None;
    case 'G': case 'g': base = 'G'; return SkipReason::None;
    case 'T': case 't': base = 'T'; return SkipReason::None;
    default: return SkipReason::NotAcgt;
  }
}

}  // namespace genoio
