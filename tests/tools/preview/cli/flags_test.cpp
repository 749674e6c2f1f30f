// The flag table: each flag's value taken the same way however it is given,
// --help made from the tables, and a look (what the live page sends) holding
// look settings only.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/tools/preview/fake_backend.h"
#include "tools/preview/cli/cli.h"
#include "tools/preview/render/settings.h"

namespace {

class Flags : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.hosts = fake::host_entries();
    env_.out = &out_;
    env_.err = &err_;
    env_.check_only = true;  // checked, never rendered or written
    for (const preview::HostEntry& e : env_.hosts) {
      std::string error;
      hosts_.push_back({&e, e.make("", error)});
    }
  }
  int run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    return preview::run(args, env_);
  }

  preview::CliEnvironment env_;
  std::ostringstream out_, err_;
  std::vector<preview::LoadedHost> hosts_;
};

TEST_F(Flags, AttachedAndSeparateValuesAreTheSame) {
  for (const preview::SceneSetting& s : preview::scene_settings()) {
    if (!s.look) continue;  // a look takes look settings only
    const std::string value = preview::default_text(s);
    preview::Look apart, attached;
    EXPECT_EQ(preview::parse_look({std::string("--") + s.flag, value}, hosts_, apart), "");
    EXPECT_EQ(preview::parse_look({std::string("--") + s.flag + "=" + value}, hosts_, attached),
              "");
    EXPECT_EQ(preview::scene_flags(apart.scene), preview::scene_flags(attached.scene)) << s.flag;
  }
  EXPECT_EQ(run({"--list=yes"}), preview::kExitUsage);
  EXPECT_NE(err_.str().find("--list takes no value"), std::string::npos) << err_.str();
  EXPECT_EQ(run({"--fov"}), preview::kExitUsage);
  EXPECT_NE(err_.str().find("--fov needs a value"), std::string::npos) << err_.str();
}

TEST_F(Flags, HostsWithAListSelectsThem) {
  EXPECT_EQ(run({"--hosts", "mr", "--list"}), preview::kExitOk);
  EXPECT_EQ(out_.str().find("maya"), std::string::npos) << out_.str();
  EXPECT_EQ(run({"--hosts=nope"}), preview::kExitUsage);
}

TEST_F(Flags, EachHostsFlagsComeFromItsEntry) {
  // Every flag an entry names is taken; a host that is not built has none.
  for (const preview::HostEntry& h : env_.hosts) {
    EXPECT_EQ(run({"--" + h.flag, "edginess=3"}), preview::kExitOk) << err_.str();
    EXPECT_EQ(run({"--" + h.looks_flag, "/nowhere", "--list"}), preview::kExitOk) << err_.str();
  }
  env_.hosts.pop_back();
  EXPECT_EQ(run({"--mr", "edginess=3"}), preview::kExitUsage);
  EXPECT_NE(err_.str().find("unknown flag '--mr'"), std::string::npos) << err_.str();
}

TEST_F(Flags, HelpNamesEveryFlagTheParserTakes) {
  ASSERT_EQ(run({"--help"}), preview::kExitOk);
  const std::string help = out_.str();
  for (const char* flag :
       {"--serve", "--port N", "--look NAME", "--save-look NAME", "--list-looks", "--sweep",
        "--compare", "--hosts LIST", "--out DIR", "--threads N", "--help"}) {
    EXPECT_NE(help.find(flag), std::string::npos) << flag;
  }
  for (const preview::SceneSetting& s : preview::scene_settings()) {
    const std::string line = std::string("--") + s.flag + " " + s.arg;
    const std::size_t at = help.find(line);
    ASSERT_NE(at, std::string::npos) << line;
    if (preview::default_text(s).empty()) continue;  // nothing by default: no default shown
    const std::size_t default_at = help.find("(default " + preview::default_text(s) + ")", at);
    EXPECT_NE(default_at, std::string::npos) << line;
  }
  for (const preview::HostEntry& h : env_.hosts) {
    EXPECT_NE(help.find("--" + h.flag + " NAME=VALUE"), std::string::npos) << h.flag;
    EXPECT_NE(help.find("--" + h.path_flag + " PATH"), std::string::npos) << h.flag;
    EXPECT_NE(help.find("--" + h.looks_flag + " " + h.looks_arg), std::string::npos) << h.flag;
  }
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_LE(line.size(), 92u) << line;  // the longest line --help has always had
  }
}

TEST_F(Flags, ALookRefusesEveryFlagButLookSettingsByName) {
  // What the live page sends: the look flags used to be taken and then
  // ignored, so that the page showed one look and saved none of it.
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--look", "warm"},
                                             {"--save-look", "mine"},
                                             {"--maya-presets", "/tmp"},
                                             {"--mr-looks", "/tmp/x.mi"},
                                             {"--list-looks"},
                                             {"--maya-plugin", "/tmp/x"},
                                             {"--out", "/tmp"},
                                             {"--threads", "2"},
                                             {"--hosts", "mr"},
                                             {"--serve"},
                                             {"--help"}}) {
    preview::Look look;
    const std::string message = preview::parse_look(args, hosts_, look);
    EXPECT_NE(message.find(args[0] + " is not a look setting"), std::string::npos)
        << args[0] << ": " << message;
  }
  preview::Look look;
  EXPECT_EQ(
      preview::parse_look({"--irradiance", "0.5,0.5,0.5", "--key", "2", "--maya", "edginess=3"},
                          hosts_, look),
      "");
  EXPECT_EQ(look.scene.key, 2.0f);
  EXPECT_EQ(look.scene.irradiance.g, 0.5f);
  ASSERT_EQ(look.values["maya"].size(), 1u);
}

TEST_F(Flags, ServeRefusesEveryLookSettingOnTheCommandLine) {
  // --irradiance used to be accepted beside --serve and then ignored.
  for (const preview::SceneSetting& s : preview::scene_settings()) {
    if (!s.look) continue;
    EXPECT_EQ(run({"--serve", std::string("--") + s.flag, preview::default_text(s)}),
              preview::kExitUsage)
        << s.flag;
    EXPECT_NE(err_.str().find(std::string("not from --") + s.flag), std::string::npos)
        << err_.str();
  }
}

}  // namespace

// A host that shows another's plug-in (the viewport, the Maya node drawn by
// its fragments) has no flags of its own: it takes that host's settings and
// plug-in, is drawn when named, and is listed with the others.
class ShowingHost : public Flags {
 protected:
  void SetUp() override {
    Flags::SetUp();
    preview::HostEntry viewport = preview::viewport_entry();
    viewport.make = [](const std::string&, std::string&) {
      return std::make_unique<fake::Backend>();
    };
    env_.hosts.push_back(viewport);
  }
};

TEST_F(ShowingHost, TakesTheShownHostsSettingsAndHasNoFlagsOfItsOwn) {
  EXPECT_EQ(run({"--hosts", "viewport", "--maya", "edginess=3"}), preview::kExitOk) << err_.str();
  EXPECT_EQ(run({"--hosts", "mr", "--maya", "edginess=3"}), preview::kExitUsage);
  EXPECT_EQ(run({"--viewport", "edginess=3"}), preview::kExitUsage);
  EXPECT_NE(err_.str().find("unknown flag '--viewport'"), std::string::npos) << err_.str();

  // A look given for the shown host is the showing host's too, once.
  std::vector<preview::LoadedHost> hosts;
  for (const preview::HostEntry& e : env_.hosts) {
    std::string error;
    hosts.push_back({&e, e.make("", error)});
  }
  preview::Look look;
  ASSERT_EQ(preview::parse_look({"--maya", "edginess=3"}, hosts, look), "");
  ASSERT_EQ(look.values.size(), 1u);
  EXPECT_EQ(look.values.at("maya").size(), 1u);
}

TEST_F(ShowingHost, IsDrawnWhenNamedAndListedWithTheOthers) {
  const std::string help = (run({"--help"}), out_.str());
  EXPECT_NE(help.find("some of maya, mr, viewport (default: all built but viewport)"),
            std::string::npos)
      << help;
  EXPECT_EQ(help.find("--viewport NAME"), std::string::npos);
  EXPECT_EQ(run({"--list"}), preview::kExitOk);
  EXPECT_NE(out_.str().find("viewport (Maya viewport): takes --maya's parameters"),
            std::string::npos)
      << out_.str();
  // --compare needs each host that has a look of its own, not the viewport.
  EXPECT_EQ(run({"--compare"}), preview::kExitOk) << err_.str();
}
