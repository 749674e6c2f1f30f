// How the stand-in Viewport 2.0's generated effects receive what Maya feeds a
// surface fragment graph: one RGBA float texture array, the size of the
// target, whose layers hold per pixel
//
//   kLayerNw         the world normal Nw               (xyz)
//   kLayerVw         the view vector Vw, towards the eye (xyz)
//   kLayerAmbientIn  the summed ambient lights ambientIn (rgb)
//   kLayerLightCount the number of lights in x (more than kMaxLights: the first kMaxLights)
//   lightLayer(k, kLw / kHLw / kDiffuseI / kSpecularI)  light k's inputs (SLw is HLw)
//
// Part of the driver: tests and the preview fill it; plug-ins never see it.
#ifndef MAYAHOST_EFFECT_LAYOUT_H
#define MAYAHOST_EFFECT_LAYOUT_H

namespace mayahost::effect {

constexpr int kMaxLights = 16;  // what mayaLightSelector16 hands out
constexpr int kLayerNw = 0;
constexpr int kLayerVw = 1;
constexpr int kLayerAmbientIn = 2;
constexpr int kLayerLightCount = 3;
constexpr int kLw = 0;
constexpr int kHLw = 1;
constexpr int kDiffuseI = 2;
constexpr int kSpecularI = 3;
constexpr int kLightLayers = 4;
constexpr int lightLayer(int light, int input) {
  return 4 + light * kLightLayers + input;
}
constexpr int kLayers = 4 + kMaxLights * kLightLayers;

}  // namespace mayahost::effect

#endif  // MAYAHOST_EFFECT_LAYOUT_H
