// The command line's run(): the phases in order. Each phase has its own file
// (see phases.h); this one holds the order, which is part of the
// contract: every flag and value is checked before anything is rendered, and
// nothing is written before everything is rendered.
#include "tools/preview/cli/cli.h"

#include <utility>

#include "tools/preview/cli/phases.h"

namespace preview {

using cli::Failure;
using cli::UsageError;

int run(const std::vector<std::string>& args, const CliEnvironment& env) {
  std::ostream& out = *env.out;
  std::ostream& err = *env.err;
  try {
    // Validate the flags on their own.
    const cli::Request request = cli::validate(args, env);
    if (request.help) return cli::act_help(env, out);
    if (request.where) return cli::act_where(request, env, out);

    // Load the plug-ins and the looks.
    std::vector<LoadedHost> hosts = cli::load_hosts(request, env);
    std::vector<NamedLook> looks;
    if (request.look || request.list_looks) {
      const LookFiles files = cli::look_files(request, env);
      looks = cli::requested_looks(files, hosts);
      if (request.list_looks) return cli::act_list_looks(files, looks, out);
    }
    if (request.serve) return cli::act_serve(request, env, hosts);
    if (request.list) return cli::act_list(hosts, env, out);

    // Validate every value against the loaded hosts.
    const cli::Settings settings = cli::checked_settings(request, hosts, looks);
    if (env.check_only) return kExitOk;

    // Act, then write.
    cli::Output output = request.compare ? cli::act_compare(request, env, hosts, settings)
                         : request.sweep ? cli::act_sweep(request, env, hosts, settings)
                                         : cli::act_render(request, env, hosts, settings);
    cli::write_output(request, hosts, settings, std::move(output), cli::thread_count(request, env),
                      out);
    return kExitOk;
  } catch (const UsageError& e) {
    err << "velvet-preview: " << e.message << "\n(velvet-preview --help lists the flags)\n";
    return kExitUsage;
  } catch (const Failure& e) {
    err << "velvet-preview: " << e.message << "\n";
    return kExitFailure;
  }
}

std::string parse_look(const std::vector<std::string>& args, const std::vector<LoadedHost>& hosts,
                       Look& out, const TextureSource& textures,
                       const std::string& textures_missing) {
  try {
    CliEnvironment env;
    for (const LoadedHost& h : hosts) env.hosts.push_back(*h.entry);
    const cli::Request o = cli::parse_flags(args, env, /*look_only=*/true);
    Look look;
    look.scene = o.scene;
    for (const LoadedHost& h : hosts) {
      // A host that shows another's plug-in takes that host's settings.
      const std::string& key = settings_flag(*h.entry);
      const auto given = o.params.find(key);
      if (given == o.params.end() || look.values.count(key)) continue;
      auto& connected = look.textures[key];
      cli::TextureFinder find;
      if (textures) {
        find = [&](const std::string& file) {
          std::shared_ptr<const Texture> texture = textures(file);
          if (!texture) throw UsageError{"texture " + file + ": " + textures_missing};
          return texture;
        };
      }
      cli::checked_params(h, given->second, look.values[key], connected, find);
      if (connected.empty()) look.textures.erase(key);
    }
    out = std::move(look);
    return "";
  } catch (const UsageError& e) {
    return e.message;
  }
}

std::string read_looks(const LookFiles& files, const std::vector<LoadedHost>& hosts,
                       std::vector<std::pair<std::string, Look>>& out) {
  try {
    std::vector<std::pair<std::string, Look>> read;
    for (const NamedLook& named : cli::checked_looks(files, hosts)) {
      Look look;
      for (const LoadedHost& h : hosts) {
        const std::string& key = settings_flag(*h.entry);
        if (look.values.count(key)) continue;
        look.values[key] = cli::look_values(h, *cli::source_for(named, *h.entry));
      }
      read.emplace_back(named.name, std::move(look));
    }
    out = std::move(read);
    return "";
  } catch (const UsageError& e) {
    return e.message;
  }
}

std::string write_look(const std::string& name, const std::string& dir,
                       const std::vector<LoadedHost>& hosts, const Look& look,
                       std::vector<std::string>& wrote) {
  // The name becomes a file name: never a path.
  if (!valid_look_name(name)) return "not a look name: '" + name + "'";
  cli::HostValues values;
  for (const LoadedHost& h : hosts) {
    const auto given = look.values.find(settings_flag(*h.entry));
    values.push_back(given == look.values.end() ? decltype(values)::value_type{} : given->second);
  }
  try {
    cli::save_look(name, dir, hosts, values, wrote);
    return "";
  } catch (const Failure& e) {
    return e.message;
  }
}

}  // namespace preview
