#include "model/counter_install.h"

#include <gtest/gtest.h>

#include "model/error_notes.h"
#include "model/testing/counter_database.h"
#include "raster/default_skin.h"

namespace tlvx {
namespace {

TEST(CounterDatabasePath, ConfiguredNameOnlyForAnIdWithABlock) {
    TBaseConf conf;
    conf.DataBaseName = "/data/seven.orv";
    EXPECT_EQ("/data/seven.orv", CounterDatabasePath("/srv/cgi/tlvxstat", true, conf, "7"));
    // No id: the configured name is ignored, the program's own file used.
    EXPECT_EQ("/srv/cgi/tlvxstat.orv", CounterDatabasePath("/srv/cgi/tlvxstat", true, conf, ""));
    EXPECT_EQ("/srv/cgi/tlvxcount.orv", CounterDatabasePath("/srv/cgi/tlvxcount.cgi", false, conf, "7"));
}

class CreateCounterDatabaseTest : public test::CounterDatabaseTest {};

TEST_F(CreateCounterDatabaseTest, StreamsInSkinOrderAndCreationInInstallMode) {
    TNWPaintRectList defSkin;
    LoadDefaultSkin(defSkin);
    const TDefaultSkinStreams skin(defSkin);
    TPaintRect background, seven;
    background.LoadFromStream(*skin.Streams()[0]);
    seven.LoadFromStream(*skin.Streams()[8]);
    EXPECT_EQ(DrawDefaultBackground(), background);
    EXPECT_EQ(DrawDefaultDigit(7), seven);
    const TDefaultSkinStreams fresh(defSkin);
    for (TStream* s : fresh.Streams()) EXPECT_EQ(0u, s->Position());

    Ref<ICounter2> counter;
    CreateCounterDatabase(path, defSkin, counter);
    ASSERT_TRUE(counter);
    EXPECT_TRUE(InstallMode());
    counter.reset();
    // Committed: a reader finds the complete database with its skin.
    Ref<ICounter2> reader = Open(true);
    ASSERT_TRUE(reader);
    EXPECT_EQ(1, reader->GetSkins()->GetSkinCount());
}

}  // namespace
}  // namespace tlvx
