#include "model/lang_collection.h"

#include <exception>

#include "model/error_notes.h"
#include "model/need.h"
#include "model/node_atoms.h"
#include "platform/text.h"
#include "store/btree_factory.h"

namespace tlvx {

namespace {
constexpr int32_t kIndexLink = 1;
}

TLangCollection::TLangCollection(Ref<IVirtualAtom> languageAtom) : atom_(std::move(languageAtom)) {
    // A read-only database made before languages were counted has no
    // language atom: the collection is simply empty.
    if (!atom_) return;
    bool readOnly = true;
    try {
        IVirtualAtom& atom = Need(atom_, "language atom");
        readOnly = IsReadOnlyAtom(atom);
        if (atom.HasLink(kIndexLink)) {
            index_ = IndexFactory()->OpenIndex(atom.OpenLink(kIndexLink), "", "");
        } else if (!readOnly) {
            CreateIndex();
        }
        return;
    } catch (const std::exception&) {
        index_.reset();
        NoteError(kNoteLanguages);
    }
    if (readOnly) return;
    try {
        atom_->SetLink(kIndexLink, nullptr);
        CreateIndex();
    } catch (const std::exception&) {
        index_.reset();
        NoteError(kNoteLanguages);
    }
}

void TLangCollection::CreateIndex() {
    Ref<IVirtualAtom> indexAtom;
    index_ = IndexFactory()->CreateIndex(StorageOf(*atom_), indexAtom, "", "");
    atom_->SetLink(kIndexLink, indexAtom);
}

void TLangCollection::Add(std::string_view code) {
    if (!index_) return;
    std::string key = UpperAscii(code);
    Ref<IVirtualAtom> value;
    if (index_->Find(key, value)) {
        IVirtualAtom& count = Need(value, "language count");
        WriteInt32(count, WrapAdd(ReadInt32(count), 1));
    } else {
        value = index_->Insert(key);
        WriteInt32(Need(value, "language count"), 1);
    }
}

void TLangCollection::Delete(std::string_view code) {
    if (index_) index_->Delete(UpperAscii(code));
}

int32_t TLangCollection::GetCount(std::string_view code) {
    if (!index_) return 0;
    Ref<IVirtualAtom> value;
    if (!index_->Find(UpperAscii(code), value)) return 0;
    return ReadInt32(Need(value, "language count"));
}

StringArray TLangCollection::GetCodes() {
    StringArray codes;
    if (!index_) return codes;
    Ref<IIndexerCursor> cursor;
    if (index_->GetCursor(cursor) && cursor) {
        do codes.push_back(cursor->GetKey());
        while (cursor->Next());
    }
    return codes;
}

void TLangCollection::Clear() {
    if (index_) index_->Clear();
}

}  // namespace tlvx
