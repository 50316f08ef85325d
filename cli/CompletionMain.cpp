// Writes the bash completion of kestrava-cli from a template, at build time:
//   kestrava-cli-completion TEMPLATE OUTPUT

#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>

#include "cli/Completion.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: kestrava-cli-completion TEMPLATE OUTPUT\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in.is_open()) {
    std::cerr << "kestrava-cli-completion: cannot read " << argv[1] << "\n";
    return 1;
  }
  const std::string script{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::optional<std::string> completion = kestrava::cli::BashCompletion(script);
  if (!completion) {
    std::cerr << "kestrava-cli-completion: a name in the tables needs quoting\n";
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << *completion;
  out.close();
  if (!out) {
    std::cerr << "kestrava-cli-completion: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
