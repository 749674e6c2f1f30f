// The scene's settings, one table: each setting's flag, default, accepted
// range, --help line, the live page's control and its spelling in a command
// line. The command line's parser and --help, the page's controls and the
// command line handed over from the page all read this table; a setting is
// added here and nowhere else.
#ifndef VELVET_TOOLS_PREVIEW_RENDER_SETTINGS_H
#define VELVET_TOOLS_PREVIEW_RENDER_SETTINGS_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/preview/render/scene.h"

namespace preview {

struct SceneSetting {
  const char* flag;  // "fov": --fov on the command line, the key the page sends
  const char* arg;   // the value's form in --help: "DEGREES"
  const char* help;  // --help's description; the default is appended
  // The page's control: its type ("float", "integer", "size", "shapes",
  // "color") and label, and the slider's range where it has one. An empty
  // control: the page shows none.
  const char* control;
  const char* label;
  std::optional<double> soft_min, soft_max;
  // A look setting: part of what the page may send, refused beside --serve
  // on the command line. Every setting is one today.
  bool look;
  // The value in `scene` as the command line spells it, and the other way:
  // parses and range-checks `text` into `scene`, or returns the message.
  std::string (*get)(const SceneOptions& scene);
  std::string (*set)(SceneOptions& scene, const std::string& text);
};

// Every setting, in the order --help and a handed-over command line show them.
const std::vector<SceneSetting>& scene_settings();

// The setting of --`flag`, or null.
const SceneSetting* find_scene_setting(std::string_view flag);

// The setting's default value, as the command line spells it.
std::string default_text(const SceneSetting& setting);

// The flags that give `scene` from the defaults: " --size 320x160 --fov 40"
// for each setting whose value differs, "" for the default scene.
std::string scene_flags(const SceneOptions& scene);

// The --help lines of every setting, each ending in its default.
std::string scene_help();

// One page control, ready to be written as JSON: {"flag", "type", "label",
// "default", and "softMin"/"softMax" where set}.
struct SceneControl {
  std::string flag, type, label, default_text;
  std::optional<double> soft_min, soft_max;
  bool look = true;
};

// The controls of the settings that have one, in table order.
std::vector<SceneControl> scene_controls();

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_RENDER_SETTINGS_H
