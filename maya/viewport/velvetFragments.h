// The node's Viewport 2.0 shade fragments and their graph, compiled into the
// plug-in from maya/viewport/*.xml at build time: nothing is read from disk
// when Maya loads the plug-in.
#ifndef VELVET_MAYA_VIEWPORT_VELVETFRAGMENTS_H
#define VELVET_MAYA_VIEWPORT_VELVETFRAGMENTS_H

namespace velvetViewport {

struct FragmentXml {
  const char* name;  // the fragment's (or graph's) registered name
  const char* xml;
  bool graph;
};

// Leaf fragments first, then the graph that refers to them: the order in
// which they must be registered.
const FragmentXml* fragmentXml(unsigned int& count);

// The graph the override names as its fragment.
constexpr const char* kGraphName = "velvetSurface";

}  // namespace velvetViewport

#endif  // VELVET_MAYA_VIEWPORT_VELVETFRAGMENTS_H
