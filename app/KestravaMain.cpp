// kestrava: the window against the production service host.
//
// "--help" or "--version" as the only argument prints its text and ends
// without a window, so neither needs a display. Any other command line starts
// the window, which reads nothing from it.

#include <cstdio>
#include <cstring>
#include <string>

#include "app/Startup.h"
#include "base/StandardDescriptors.h"
#include "client/Kestrava2Intf.h"

namespace {

std::string HelpText() {
  const std::string& host = kestrava::ServiceHost();
  return "Usage: kestrava [OPTION]\n"
         "Sign in to the Kestrava open-banking service and read the aggregated bank\n"
         "accounts and the transactions of a date-time range in a window. The\n"
         "production service is " +
         host + ", the test service api.test." + host +
         ".\n"
         "\n"
         "Options:\n"
         "  --help     display this help and exit\n"
         "  --version  output version information and exit\n"
         "\n"
         "Environment:\n"
         "  SSL_CERT_FILE, SSL_CERT_DIR  trust these certificate authorities instead of\n"
         "                               the system's\n"
         "  https_proxy, no_proxy        reach the service through this proxy\n";
}

// 0 once the text is out, 1 when standard output cannot take it.
int Print(const std::string& text) {
  const bool written = std::fputs(text.c_str(), stdout) >= 0;
  return std::fflush(stdout) == 0 && written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (!kestrava::OpenStandardDescriptors()) return 1;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return Print(HelpText());
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
    return Print(std::string("kestrava ") + KESTRAVA_VERSION + "\n");
  return kestrava::RunApplication(argv[0]);
}
