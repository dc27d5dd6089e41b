#pragma once
// The common main of the stand-alone tools: parse the flags, print the usage
// on --help, name a bad flag with a hint, else run with the parsed config.
#include <cstdio>
#include <string>
#include <vector>

namespace vorn {

template <typename Parse, typename Usage, typename Run>
int ProgramMain(const char* name, int argc, char** argv, Parse parse, Usage usage, Run run) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = parse(args, error);
  if (!options) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", name, error.c_str(), name);
    return 2;
  }
  if (options->help) {
    std::fputs(usage().c_str(), stdout);
    return 0;
  }
  return run(options->config);
}

}  // namespace vorn
