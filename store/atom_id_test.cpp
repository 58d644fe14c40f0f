#include "store/atom_id.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tlvx {
namespace {

TEST(AtomID, BytesFieldByField) {
    TAtomID id;
    id.StorageID = *StrToGuid("{01020304-0506-0708-090A-0B0C0D0E0F10}");
    id.AtomNumber = 0x11223344;
    auto bytes = id.ToBytes();
    const uint8_t golden[24] = {0x04, 0x03, 0x02, 0x01, 0x06, 0x05, 0x08, 0x07,
                                0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10,
                                0x44, 0x33, 0x22, 0x11, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(bytes.data(), golden, 24));
    EXPECT_EQ(TAtomID::FromBytes(golden), id);
    uint8_t reserved[24];
    std::memcpy(reserved, golden, 24);
    reserved[23] = 0x80;
    TAtomID r = TAtomID::FromBytes(reserved);
    EXPECT_EQ(r.Reserved, 0x80000000u);
    EXPECT_FALSE(r == id);
}

}  // namespace
}  // namespace tlvx
