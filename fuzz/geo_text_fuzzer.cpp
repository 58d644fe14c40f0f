// Imports the input as a geo network file and a country file (split at the
// first NUL byte) into a new geo store, and checks the store against a
// std::map built from the same lines: the import counts, the export, every
// country, the lookups of every network; then that the export imports into
// a second store and exports to the same bytes, and that the committed
// file opens read-only to the same export.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>

#include "fuzz/fuzz_guard.h"
#include "platform/testing/memory_file_system.h"
#include "platform/text.h"
#include "store/orv_storage.h"
#include "webstat/geo_collection.h"
#include "webstat/geo_text.h"

using namespace tlvx;

namespace {

const std::string kNetworks = "/fuzz/networks.txt";
const std::string kCountries = "/fuzz/countries.txt";

// A new geo store in path; the transaction commits when change returns.
template <class F>
void WithNewStore(const std::string& path, F&& change) {
    TStorageOpenParams params;
    params.Mode = omCreate;
    params.Classes.push_back(TGUID{});
    Ref<IVirtualStorage> storage = TOrvStorage::Open(path, params);
    Ref<IStorageTransaction> tr = storage->StartTransaction();
    change(*TGeoCollection::InitNew(tr->OpenRootAtom()));
    tr->Commit();
}

std::string ExportOf(IGeoCollection& geo, TMemoryFileSystem& files, const std::string& path) {
    geo.ExportText(path);
    return files.Contents(path);
}

void Check(std::string_view networks, std::string_view countries, TMemoryFileSystem& files) {
    std::map<std::string, TNetDescription> entries;
    TGeoImportCounts want;
    for (std::string_view line : SplitTextLines(networks)) {
        if (TrimBytes(line).empty()) continue;
        TNetDescription e;
        if (!ParseNetworkLine(line, e)) {
            ++want.Skipped;
            continue;
        }
        entries[GeoNetworkKey(e.Network, e.Mask)] = e;
        ++want.Added;
    }
    std::map<std::string, std::string> names;
    for (std::string_view line : SplitTextLines(countries)) {
        std::string key, value;
        if (ParseCountryLine(line, key, value)) names[key] = value;
    }
    std::string exported;
    for (const auto& [key, e] : entries) exported += FormatNetworkLine(e) + "\r\n";

    WithNewStore("/fuzz/a.orv", [&](IGeoCollection& geo) {
        FuzzCheck(geo.ImportText(kNetworks) == want, "import counts differ from the lines");
        geo.LoadCountries(kCountries);
        FuzzCheck(ExportOf(geo, files, "/fuzz/a.txt") == exported, "export differs from the model");
        for (const auto& [key, value] : names) {
            TNetCountry country;
            FuzzCheck(geo.FindCountry(" " + LowerAscii(key) + "\t", country), "a loaded country is missing");
            FuzzCheck(country == SplitCountryNames(value), "a country's names differ");
        }
        for (const auto& [key, e] : entries) {
            TNetDescriptions found;
            const bool aligned = (e.Network & e.Mask) == e.Network;
            bool seen = false;
            geo.FindAddress(e.Network, found);
            for (const auto& d : found) seen = seen || d == e;
            FuzzCheck(seen == aligned, "an entry is found iff its network is aligned");
            FuzzCheck(!GeoRegionOf(e.Network, &geo).empty(), "an empty region");
        }
    });
    WithNewStore("/fuzz/b.orv", [&](IGeoCollection& geo) {
        const TGeoImportCounts all{int32_t(entries.size()), 0};
        FuzzCheck(geo.ImportText("/fuzz/a.txt") == all, "an export does not import whole");
        FuzzCheck(ExportOf(geo, files, "/fuzz/b.txt") == exported, "export, import, export differs");
    });
    Ref<IGeoCollection> reader;
    FuzzCheck(OpenGeoCollection("/fuzz/a.orv", reader), "the committed store does not open");
    FuzzCheck(ExportOf(*reader, files, "/fuzz/c.txt") == exported, "the reopened store differs");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMemoryFileSystemScope* files = new TMemoryFileSystemScope;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    const std::string_view networks = input.substr(0, nul);
    const std::string_view countries = nul == std::string_view::npos ? "" : input.substr(nul + 1);
    files->Files().Clear();
    files->Files().SetContents(kNetworks, std::string(networks));
    files->Files().SetContents(kCountries, std::string(countries));
    // Text is never a reason to raise: any exception is a finding.
    try {
        Check(networks, countries, files->Files());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        FuzzFail("the geo text road raised");
    }
    return 0;
}
