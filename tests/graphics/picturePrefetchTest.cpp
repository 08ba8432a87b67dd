#include "graphics/picturePrefetch.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <string>
#include <vector>

#include "effects/cubeImageFile.h"
#include "graphics/texture.h"
#include "platform/image/imageCodec.h"
#include "support/logCapture.h"
#include "support/showFixture.h"
#include "system/fileWatcher.h"

namespace {

using TestSupport::LogCapture;
using TestSupport::LogLine;

// An odd-sized PNG with no two pixels alike, so that every mip level has texels between taps.
std::string Gradient(int width, int height, int seed) {
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 37 + seed * 11 + (i >> 5));
    std::vector<uint8_t> png;
    std::string error;
    EXPECT_TRUE(Image::EncodePng(rgba.data(), width, height, width * 4, true, "test", png, error)) << error;
    return std::string(png.begin(), png.end());
}

class PicturePrefetchTest : public TestSupport::ShowTest {
protected:
    // Every mip level of the texture `fileName` loads into, and what the load logged.
    struct Loaded {
        bool result = false;
        std::vector<std::vector<uint8_t>> levels;
        std::vector<LogLine> log;
    };
    Loaded LoadTexture(const std::string& fileName) {
        Loaded loaded;
        LogCapture log;
        Texture texture;
        loaded.result = texture.Load(fileName);
        loaded.log = log.Lines();
        for (uint32_t mip = 0; texture.texture && mip < texture.texture->MipLevels(); ++mip) {
            loaded.levels.emplace_back();
            EXPECT_TRUE(Context().ReadTexture(texture.texture, mip, loaded.levels.back()));
        }
        return loaded;
    }
};

TEST_F(PicturePrefetchTest, ATexturePreparedAheadHoldsExactlyWhatItWouldDecodeItself) {
    // Sizes that halve evenly, oddly and down to a single row.
    const std::vector<std::pair<int, int>> sizes = {{8, 8}, {13, 7}, {5, 1}, {1, 1}};
    for (size_t i = 0; i < sizes.size(); ++i) {
        const std::string name = "picture" + std::to_string(i) + ".png";
        Data().Write(name, Gradient(sizes[i].first, sizes[i].second, int(i)));
        const Loaded alone = LoadTexture(name);
        ASSERT_TRUE(alone.result) << name;

        PicturePrefetch prefetch({name});
        const PicturePrefetch::Scope scope(prefetch);
        prefetch.Finish();
        FileWatcher reader(name);
        const FileData* file = reader.GetData();
        const auto prepared = prefetch.Take(name, file->data.get(), size_t(file->size));
        ASSERT_NE(prepared, nullptr) << name << " was not prepared";
        EXPECT_EQ(prepared->levels.size(), alone.levels.size()) << name;

        const Loaded ahead = LoadTexture(name);
        EXPECT_TRUE(ahead.result);
        EXPECT_EQ(ahead.levels, alone.levels) << name << ": the levels differ";
        EXPECT_EQ(ahead.log, alone.log);
    }
}

TEST_F(PicturePrefetchTest, APictureIsHandedOutOnlyForTheBytesItWasMadeFrom) {
    Data().Write("a.png", Gradient(4, 4, 1));
    PicturePrefetch prefetch({"a.png", "a.png"});
    prefetch.Finish();
    FileWatcher reader("a.png");
    const FileData* file = reader.GetData();
    const auto first = prefetch.Take("a.png", file->data.get(), size_t(file->size));
    ASSERT_NE(first, nullptr);
    // Named twice, made once: every effect naming it shares the one picture.
    EXPECT_EQ(prefetch.Take("a.png", file->data.get(), size_t(file->size)), first);

    // Saved again since (or another name): the load decodes what the file holds now.
    const std::string edited = Gradient(4, 4, 2);
    EXPECT_EQ(prefetch.Take("a.png", edited.data(), edited.size()), nullptr);
    EXPECT_EQ(prefetch.Take("b.png", file->data.get(), size_t(file->size)), nullptr);
}

TEST_F(PicturePrefetchTest, WhatFailsAheadFailsInTheLoadWithItsOwnMessages) {
    Data().Write("broken.png", "\x89PNG\r\n\x1a\n but not a picture");
    const Loaded alone[2] = {LoadTexture("broken.png"), LoadTexture("absent.png")};

    PicturePrefetch prefetch({"broken.png", "absent.png"});
    const PicturePrefetch::Scope scope(prefetch);
    prefetch.Finish();
    const Loaded ahead[2] = {LoadTexture("broken.png"), LoadTexture("absent.png")};
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(ahead[i].result);
        EXPECT_FALSE(ahead[i].log.empty());
        EXPECT_EQ(ahead[i].log, alone[i].log);
    }

    // The cube walls' pictures tell the same failures apart.
    FileWatcher broken("broken.png"), absent("absent.png");
    Image::Picture picture;
    EXPECT_EQ(Effects::ReadCubeImage(broken, picture), Effects::CubeImageRead::NotDecoded);
    EXPECT_EQ(Effects::ReadCubeImage(absent, picture), Effects::CubeImageRead::NotOpened);
}

TEST_F(PicturePrefetchTest, ACubeWallReadsThePreparedPictureAsDecoded) {
    Data().Write("wall.png", Gradient(6, 3, 3));
    FileWatcher plain("wall.png");
    Image::Picture alone;
    ASSERT_EQ(Effects::ReadCubeImage(plain, alone), Effects::CubeImageRead::Decoded);

    PicturePrefetch prefetch({"wall.png"});
    const PicturePrefetch::Scope scope(prefetch);
    prefetch.Finish();
    FileWatcher watched("wall.png");
    Image::Picture ahead;
    ASSERT_EQ(Effects::ReadCubeImage(watched, ahead), Effects::CubeImageRead::Decoded);
    EXPECT_EQ(ahead.width, alone.width);
    EXPECT_EQ(ahead.height, alone.height);
    EXPECT_EQ(ahead.rgba, alone.rgba);
}

TEST(PicturePrefetch, NamedPicturesAreTheScriptsImageStringsInDocumentOrder) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(R"(
        <demo>
          <effect type="A"><param key="image" type="string" value="first.png"/>
            <effect type="B">
              <param key="texture" type="string" value="deep/SECOND.JPG"/>
              <param key="lutName" type="string" value="grade.cube"/>
              <param key="count" type="double" value="3.png"/>
            </effect>
          </effect>
          <effect type="C"><param key="image" type="string" value="first.png"/>
            <param key="image2" type="string" value=""/></effect>
        </demo>)"));
    const std::vector<std::string> expected = {"first.png", "deep/SECOND.JPG", "first.png"};
    EXPECT_EQ(PicturePrefetch::NamedPictures(document.child("demo")), expected);
    EXPECT_TRUE(PicturePrefetch::NamedPictures(document.child("absent")).empty());
}

TEST_F(PicturePrefetchTest, AbandonedBeforeItsPicturesAreTakenItStopsWithoutWaitingForThemAll) {
    std::vector<std::string> names;
    for (int i = 0; i < 64; ++i) {
        names.push_back("p" + std::to_string(i) + ".png");
        Data().Write(names.back(), Gradient(16, 16, i));
    }
    { PicturePrefetch prefetch(names, 2); }
    // Nor does a prefetch outlive its scope as the current one.
    EXPECT_EQ(PicturePrefetch::Current(), nullptr);
}

}  // namespace
