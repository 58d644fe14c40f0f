#include "model/counter_install.h"

#include "model/error_notes.h"
#include "platform/program_path.h"
#include "raster/default_skin.h"

namespace tlvx {

std::string CounterDatabasePath(const std::string& programPath, bool confLoaded,
                                const TBaseConf& conf, std::string_view id) {
    if (confLoaded && !id.empty()) return conf.DataBaseName;
    const size_t slash = programPath.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : programPath.substr(0, slash + 1);
    return dir + ProgramBaseName(programPath) + ".orv";
}

TDefaultSkinStreams::TDefaultSkinStreams(const TNWPaintRectList& defSkin) {
    for (int i = 0; i < kDefaultSkinItems; ++i) {
        const int item = i == 0 ? kDefaultSkinBackground : i - 1;
        TMemoryStream& stream = streams_[size_t(i)];
        defSkin.Items().GetItem(item).GetPaintRect().SaveToStream(stream);
        stream.Seek(0);
        pointers_[size_t(i)] = &stream;
    }
}

std::string CreateCounterDatabase(const std::string& fileName, const TNWPaintRectList& defSkin,
                                  Ref<ICounter2>& counter) {
    SetInstallMode(true);
    const TDefaultSkinStreams skin(defSkin);
    return TryOpenCounter2(fileName, counter, skin.Streams(), false);
}

}  // namespace tlvx
