// TCounter2: the ICounter2 of one open counter database.
#pragma once

#include <stdexcept>

#include "model/counter2.h"
#include "model/counter2_layout.h"
#include "store/virtual_storage.h"

namespace tlvx {

// "Invalid Storage." and "Non-complete default skin.".
class ECounterStorageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The background and all ten digits are there and not empty.
bool IsCompleteSkin(const TSkinStreams& skins);

// Lays out the root of a new database in tr: children 0 to 17 with their
// first content, the default skin as skin 0. Raises "Invalid Storage." for a
// null transaction and "Non-complete default skin." when a picture is
// missing or empty, both before anything is written.
void CreateCounterDatabase(const Ref<IStorageTransaction>& tr, const TSkinStreams& skins);

// A blob container with kBlobCount empty atoms, set as root link rcBlobs.
void CreateBlobContainer(IVirtualAtom& root, IVirtualStorage& creator);

class TCounter2 : public ICounter2 {
public:
    // Takes over tr for the run. Raises "Invalid Storage." for a null
    // transaction or a root that lacks a required child. A writable
    // transaction gets the blob container when the root has none.
    static Ref<TCounter2> Open(Ref<IStorageTransaction> tr);
    // Ends the transaction (see counter2.h); never throws.
    ~TCounter2() override;

    Ref<INodeCollection> GetNodes() override;
    Ref<ISkinCollection> GetSkins() override;
    Ref<ISkipCollection> GetSkipList() override;
    Ref<IPathCollection> GetPaths() override;
    TCounterSettings GetSettings() override;
    void SetSettings(const TCounterSettings& settings) override;
    std::string GetSiteName() override { return site_->GetAsString(); }
    void SetSiteName(std::string_view name) override { site_->SetAsString(name); }
    std::string GetDefaultPage() override { return page_->GetAsString(); }
    void SetDefaultPage(std::string_view page) override { page_->SetAsString(page); }
    void GetRecord3() override {}
    void SetRecord3() override {}
    void GetRecord4() override {}
    void SetRecord4() override {}
    std::string GetString7() override { return ChildText(rcString7); }
    void SetString7(std::string_view text) override { SetChildText(rcString7, text); }
    std::string GetAddress() override { return ChildText(rcAddress); }
    void SetAddress(std::string_view text) override { SetChildText(rcAddress, text); }
    std::string GetString9() override { return ChildText(rcString9); }
    void SetString9(std::string_view text) override { SetChildText(rcString9, text); }
    std::string GetString10() override { return ChildText(rcString10); }
    void SetString10(std::string_view text) override { SetChildText(rcString10, text); }
    int32_t GetTotalVisits() override { return GetSettings().TotalVisits; }
    TGUID GetDatabaseGUID() override;
    std::string GetDatabaseGUIDString() override;
    void DrawCounterImage(TStream* stream, int32_t skinNo) override;
    Ref<IVisitorCollection> GetVisitors() override;
    void SetMainNodeName(std::string_view name) override;
    std::string GetMainNodeName() override;
    void PutBlob(int32_t index, TStream& stream) override;
    TMemoryStream GetBlob(int32_t index) override;

private:
    friend class RefMaker;
    explicit TCounter2(Ref<IStorageTransaction> tr) : tr_(std::move(tr)) {}
    void EndTransaction() noexcept;

    bool ReadOnly() const;
    Ref<IVirtualAtom> Child(TRootChild link, const char* what);
    // The child, made (empty) first when missing; null when missing on a
    // read-only storage.
    Ref<IVirtualAtom> ChildOrNew(TRootChild link);
    Ref<IVirtualAtom> Blob(int32_t index);
    std::string ChildText(TRootChild link);
    void SetChildText(TRootChild link, std::string_view text);

    // Released in this order before the transaction ends. nodes_: on a
    // read-only database the one node collection handed out, so that the
    // nodes it keeps serve the whole request.
    Ref<INodeCollection> nodes_;
    Ref<IVirtualAtom> root_, settings_, page_, site_;
    Ref<IStorageTransaction> tr_;
    // Set once Open has finished: a facade that failed half-way through its
    // open aborts instead of committing.
    bool opened_ = false;
};

}  // namespace tlvx
