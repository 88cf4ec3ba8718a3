// The data generator's content: one Gen* function per file the demo loads.
// Each returns the complete file (or, for meshes, the mesh to be written) and
// depends on nothing but its own code and the DejaVu fonts, so every run
// gives the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "assets/a3f.h"

namespace mkdata {

// pictures.cpp: loading screen, scene textures and overlays.
std::vector<uint8_t> GenWormholePicture();    // "wormhole.jpg" 256x256
std::vector<uint8_t> GenGridPicture();        // "grid1.png" 256x256 RGB
std::vector<uint8_t> GenTechPicture();        // "tech.jpg" 256x256 sphere map
std::vector<uint8_t> GenGeoPicture();         // "geo.jpg" 256x256
std::vector<uint8_t> GenValoPicture();        // "valo.png" 256x256 RGBA
std::vector<uint8_t> GenHoopsPicture();       // "05.jpg" 256x256
std::vector<uint8_t> GenColonnadePicture();   // "04.jpg" 256x256
std::vector<uint8_t> GenHallPicture();        // "02.jpg" 256x256 panorama
std::vector<uint8_t> GenTunnelPicture();      // "tunnel.jpg" 256x256
std::vector<uint8_t> GenDarkGrayPicture();    // "darkgray.jpg" 128x128
std::vector<uint8_t> GenSieniPicture();       // "sieni.jpg" 256x256
std::vector<uint8_t> GenIwishPicture();       // "iwish.png" 256x256 RGB
std::vector<uint8_t> GenSkaterPicture();      // "skater.png" 256x256 RGB
std::vector<uint8_t> GenBitchPicture();       // "bitch.png" 256x256 RGB
std::vector<uint8_t> GenCreditsPicture();     // "cre.png" 256x256 RGB

// font.cpp
std::vector<uint8_t> GenSmallFont();   // "smfont.png" 160x192 RGBA

// meshes.cpp
qor::A3fMesh GenKnot();     // "knot.a3f"
qor::A3fMesh GenGeo();      // "geo.a3f"
qor::A3fMesh GenTrio();     // "scene1.a3f"
qor::A3fMesh GenTunnel();   // "tunnel.a3f"
qor::A3fMesh GenSieni();    // "sieni.a3f"

// files.cpp: every file by name, in a fixed order.
struct DataFile {
    const char* name;
    std::function<std::vector<uint8_t>()> generate;
};
const std::vector<DataFile>& DataFiles();

}   // namespace mkdata
