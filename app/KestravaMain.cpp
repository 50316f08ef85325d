// kestrava: the window against the production service host.

#include "app/Startup.h"

int main(int /*argc*/, char** argv) {
  return kestrava::RunApplication(argv[0]);
}
