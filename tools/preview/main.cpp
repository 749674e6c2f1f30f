// velvet-preview: renders the velvet material through each plug-in.
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "tools/preview/cli/cli.h"
#include "tools/preview/cli/platform.h"
#include "tools/preview/hosts/hosts.h"
#ifdef VELVET_PREVIEW_WITH_SERVE
#include "tools/preview/serve/serve.h"
#endif

int main(int argc, char** argv) {
  preview::CliEnvironment env;
  env.hosts = preview::built_hosts();
  env.out = &std::cout;
  env.err = &std::cerr;
  env.err_is_terminal = preview::stderr_is_terminal();
  env.default_threads = static_cast<int>(std::thread::hardware_concurrency());
  env.looks = preview::default_look_files(preview::process_locate_context());
#ifdef VELVET_PREVIEW_WITH_SERVE
  env.serve = preview::serve::run_server;
#endif
  return preview::run(std::vector<std::string>(argv + 1, argv + argc), env);
}
