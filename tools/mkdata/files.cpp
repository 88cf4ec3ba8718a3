// The table of every data file the demo loads, with the function that makes it.
#include "generators.h"
#include "music.h"

namespace mkdata {

namespace {

std::function<std::vector<uint8_t>()> MeshFile(qor::A3fMesh (*gen)()) {
    return [gen] { return qor::WriteA3f(gen()); };
}

}   // namespace

const std::vector<DataFile>& DataFiles() {
    static const std::vector<DataFile> files = {
        {"distortion.xm", GenMusicXm},        {"smfont.png", GenSmallFont},        {"wormhole.jpg", GenWormholePicture},
        {"grid1.png", GenGridPicture},        {"tech.jpg", GenTechPicture},        {"knot.a3f", MeshFile(GenKnot)},
        {"geo.a3f", MeshFile(GenGeo)},        {"geo.jpg", GenGeoPicture},          {"valo.png", GenValoPicture},
        {"scene1.a3f", MeshFile(GenTrio)},    {"02.jpg", GenHallPicture},          {"04.jpg", GenColonnadePicture},
        {"05.jpg", GenHoopsPicture},          {"tunnel.a3f", MeshFile(GenTunnel)}, {"tunnel.jpg", GenTunnelPicture},
        {"darkgray.jpg", GenDarkGrayPicture}, {"sieni.a3f", MeshFile(GenSieni)},   {"sieni.jpg", GenSieniPicture},
        {"iwish.png", GenIwishPicture},       {"skater.png", GenSkaterPicture},    {"bitch.png", GenBitchPicture},
        {"cre.png", GenCreditsPicture},
    };
    return files;
}

}   // namespace mkdata
