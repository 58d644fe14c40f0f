#include <cstdio>
#include <exception>

#include "model/counter2_object.h"
#include "model/counter_picture.h"
#include "model/error_notes.h"
#include "model/need.h"
#include "model/node_collection.h"
#include "model/stream_bytes.h"
#include "store/access_modes.h"
#include "store/errors.h"

namespace tlvx {

namespace {

void Warn(const char* what, const char* detail) {
    std::fprintf(stderr, "tlvx: counter database: %s: %s\n", what, detail);
}

}  // namespace

Ref<TCounter2> TCounter2::Open(Ref<IStorageTransaction> tr) {
    if (!tr) throw ECounterStorageError("Invalid Storage.");
    Ref<TCounter2> counter = MakeRef<TCounter2>(tr);
    counter->root_ = tr->OpenRootAtom();
    IVirtualAtom& root = Need(counter->root_, "root atom");
    for (TRootChild link : kRequiredRootChildren)
        if (!root.HasLink(link)) throw ECounterStorageError("Invalid Storage.");
    counter->settings_ = counter->Child(rcSettings, "settings atom");
    counter->page_ = counter->Child(rcDefaultPage, "default page atom");
    counter->site_ = counter->Child(rcSiteName, "site name atom");
    // A database made before the blob container existed gets it, unless the
    // storage is read-only: then it reads as having no blobs.
    if (!root.HasLink(rcBlobs) && !counter->ReadOnly()) CreateBlobContainer(root, *tr);
    counter->opened_ = true;
    return counter;
}

TCounter2::~TCounter2() { EndTransaction(); }

void TCounter2::EndTransaction() noexcept {
    nodes_.reset();
    root_.reset();
    settings_.reset();
    page_.reset();
    site_.reset();
    if (!tr_) return;
    try {
        if (!ReadOnly()) {
            if (ErrorFlag() || !opened_)
                tr_->Abort();
            else
                tr_->Commit();
        }
    } catch (const EQmzError& e) {
        // The cause names the file that failed and why.
        const std::string detail = e.Cause().empty() ? e.what() : std::string(e.what()) + ": " + e.Cause();
        Warn("the run's changes are lost", detail.c_str());
    } catch (const std::exception& e) {
        Warn("the run's changes are lost", e.what());
    } catch (...) {
        Warn("the run's changes are lost", "unknown error");
    }
    tr_.reset();
}

bool TCounter2::ReadOnly() const { return tr_->GetAccessMask() == amRead; }

Ref<IVirtualAtom> TCounter2::Child(TRootChild link, const char* what) {
    Ref<IVirtualAtom> atom = root_->OpenLink(link);
    Need(atom, what);
    return atom;
}

Ref<IVirtualAtom> TCounter2::ChildOrNew(TRootChild link) {
    if (Ref<IVirtualAtom> atom = root_->OpenLink(link)) return atom;
    if (ReadOnly()) return nullptr;
    Ref<IVirtualAtom> atom = tr_->CreateAtom();
    root_->SetLink(link, atom);
    return atom;
}

std::string TCounter2::ChildText(TRootChild link) {
    return Child(link, "text atom")->GetAsString();
}

void TCounter2::SetChildText(TRootChild link, std::string_view text) {
    Child(link, "text atom")->SetAsString(text);
}

Ref<INodeCollection> TCounter2::GetNodes() {
    if (nodes_) return nodes_;
    Ref<INodeCollection> nodes = TNodeCollection::Open(Child(rcNodes, "node tree root"));
    if (ReadOnly()) nodes_ = nodes;
    return nodes;
}

Ref<ISkinCollection> TCounter2::GetSkins() {
    return TSkinCollection::Open(Child(rcSkins, "skins root"));
}

Ref<ISkipCollection> TCounter2::GetSkipList() {
    return TSkipCollection::Open(Child(rcSkipList, "skip-list root"));
}

Ref<IPathCollection> TCounter2::GetPaths() {
    return TPathCollection::Open(Child(rcPaths, "paths root"));
}

TCounterSettings TCounter2::GetSettings() {
    uint8_t bytes[TCounterSettings::kSize] = {};
    int32_t got = settings_->Read(0, bytes, int32_t(sizeof bytes));
    return TCounterSettings::FromBytes(bytes, size_t(got));
}

void TCounter2::SetSettings(const TCounterSettings& settings) {
    uint8_t bytes[TCounterSettings::kSize];
    settings.ToBytes(bytes);
    settings_->Write(0, bytes, int32_t(sizeof bytes));
}

TGUID TCounter2::GetDatabaseGUID() { return tr_->GetStorageID(); }

std::string TCounter2::GetDatabaseGUIDString() { return GuidToStr(GetDatabaseGUID()); }

void TCounter2::DrawCounterImage(TStream* stream, int32_t skinNo) {
    if (!stream) return;
    TMemoryStream gif = DrawCounterPicture(ReadCounterPicture(*this, skinNo));
    // The whole stream is replaced: a used stream must not keep a stale tail
    // behind the picture.
    ReplaceStreamContent(*stream, gif.Bytes());
    stream->Seek(0);
}

Ref<IVisitorCollection> TCounter2::GetVisitors() {
    Ref<IVirtualAtom> root = ChildOrNew(rcVisitors);
    Need(root, "visitors root");
    return TVisitorCollection::Create(root);
}

void TCounter2::SetMainNodeName(std::string_view name) {
    Ref<IVirtualAtom> atom = ChildOrNew(rcMainNode);
    Need(atom, "main node name atom").SetAsString(name);
}

std::string TCounter2::GetMainNodeName() {
    Ref<IVirtualAtom> atom = ChildOrNew(rcMainNode);
    return atom ? atom->GetAsString() : std::string();
}

Ref<IVirtualAtom> TCounter2::Blob(int32_t index) {
    if (index < 0) return nullptr;
    Ref<IVirtualAtom> blobs = root_->OpenLink(rcBlobs);
    return blobs ? blobs->OpenLink(index) : nullptr;
}

void TCounter2::PutBlob(int32_t index, TStream& stream) {
    Ref<IVirtualAtom> blob = Blob(index);
    if (!blob) return;
    std::vector<uint8_t> bytes = WholeStreamBytes(stream);
    blob->SetSize(0);
    blob->SetAsBytes(bytes);
}

TMemoryStream TCounter2::GetBlob(int32_t index) {
    TMemoryStream copy;
    if (Ref<IVirtualAtom> blob = Blob(index)) copy.Bytes() = blob->GetAsBytes();
    return copy;
}

}  // namespace tlvx
