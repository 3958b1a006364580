// genoconv: VCF/BCF and PLINK 1 filesets into genotype files, and back to VCF.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "genoconv/Convert.h"
#include "genoconv/Options.h"
#include "genoio/Error.h"
#include "genoio/PendingFile.h"
#include "marlo_version.h"

namespace {

// An interrupted run must not leave temporary files behind either.
extern "C" void onSignal(int sig) {
  genoio::removePendingFilesForSignal();
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace

int main(int argc, char** argv) {
  genoconv::Options options;
  std::string message;
  genoconv::Action action = genoconv::parseOptions(argc, argv, options, message);
  switch (action) {
    case genoconv::Action::UsageError:
      fprintf(stderr, "genoconv: %s\n%s", message.c_str(), genoconv::kUsage);
      return 2;
    case genoconv::Action::Help:
      printf("%s\n%s", genoconv::kUsage, genoconv::kHelp);
      return 0;
    case genoconv::Action::Version:
      printf("genoconv (marlo suite) %s\n", MARLO_VERSION);
      return 0;
    default:
      break;
  }
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(sig, onSignal);
  try {
    if (action == genoconv::Action::Export)
      genoconv::exportToVcf(options, stderr);
    else
      genoconv::convert(options, stderr);
  } catch (const genoio::Error& e) {
    fprintf(stderr, "genoconv: error: %s\n", e.what());
    return 1;
  } catch (const std::bad_alloc&) {
    fprintf(stderr, "genoconv: error: out of memory\n");
    return 1;
  }
  return 0;
}
