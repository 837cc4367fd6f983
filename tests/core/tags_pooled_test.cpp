// SPDX-License-Identifier: GPL-3.0-or-later
// Short titles stored without an encoding label, albums of them: read alone,
// with their tag, with their folder, and with the code page the user picks
// for what stays uncertain. Held out from the lists the detection tables
// were made from. Prints the counts of each stage.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "code_pages.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/id3v2_unicode.h"
#include "tags/syncsafe.h"
#include "tags/tag_editing.h"
#include "tags_test_util.h"
#include "text/detect.h"
#include "text/gbtext.h"

namespace qorin::tags {
namespace {

using namespace std::literals;
using text::Charset;

struct Album {
  Charset stored;
  const char* artist;
  const char* album;
  const char* titles;  // separated by spaces
};

const Album kAlbums[] = {
    {Charset::Gbk, "张学友", "吻别", "路 歌 泡沫 童话 雨天 晚风 灯火 夏天 海边 星空 花开 故乡"},
    {Charset::Gbk, "许巍", "蓝莲花", "雪 夜 秋天 远方 回忆 离别 相遇 青春 梦想 天空 白云 月光"},
    {Charset::Gbk, "朴树", "生如夏花", "心 爱 想你 等你 再见 朋友 兄弟 妈妈 父亲 家 孩子 老师"},
    {Charset::Gbk, "刀郎", "西域", "春风 细雨 落花 流水 山川 大地 河流 森林 草原 沙漠 高山 小河"},
    {Charset::Gbk, "李健", "似水流年", "红尘 情缘 相思 无题 长亭 古道 西风 明月 清风 烟雨 江湖 侠客"},
    {Charset::Gbk, "汪峰", "花火", "城市 街灯 地铁 咖啡 书店 电影 周末 假日 旅途 车站 机场 码头"},
    {Charset::Gbk, "毛不易", "平凡", "晴天 阴天 雷雨 彩虹 黄昏 清晨 午后 深夜 破晓 日出 日落 星光"},
    {Charset::Gbk, "赵雷", "吉姆", "走吧 别走 留下 回来 出发 奔跑 飞翔 追梦 前进 归来 守候 陪伴"},
    {Charset::Gbk, "宋冬野", "安和桥", "蓝色 红色 白色 黑色 绿色 金色 紫色 灰色 粉红 橙色 银色 透明"},
    {Charset::Gbk, "陈粒", "如也", "小猫 小狗 蝴蝶 燕子 鸽子 海鸥 熊猫 兔子 金鱼 小鸟 骏马 雄鹰"},
    {Charset::Gbk, "群星", "金曲",
     "郭富城 刘德华 黎明 张国荣 王菲 那英 孙燕姿 蔡依林 林俊杰 陈奕迅 周华健 李宗盛"},
    {Charset::Gbk, "莫文蔚", "阴天", "一生 一世 永远 从前 以后 现在 明天 昨天 今天 未来 过去 此刻"},
    {Charset::Gbk, "齐秦", "狼", "开心 快乐 悲伤 孤单 寂寞 温柔 勇敢 坚强 自由 骄傲 幸福 微笑"},
    {Charset::Gbk, "王力宏", "唯一", "长江 黄河 泰山 西湖 长城 北京 上海 广州 深圳 成都 重庆 杭州"},
    {Charset::Big5, "鄧麗君", "淡淡幽情", "路 歌 泡沫 郭富城 童話 雨夜 晚風 燈火 夏天 海邊 星空 花開 故鄉"},
    {Charset::Big5, "張惠妹", "聽海", "雪 夜 秋天 遠方 回憶 離別 相遇 青春 夢想 天空 白雲 月光 思念"},
    {Charset::Big5, "羅大佑", "之乎者也", "心 愛 想你 等你 再見 朋友 兄弟 媽媽 父親 家 孩子 老師 童年"},
    {Charset::Latin1, "Mylène", "Café", "Été Noël Forêt Rêve Garçon Mañana Señor Über Château Ça Déjà Año"},
    {Charset::Utf8, "Beyoncé", "后来", "路 歌 泡沫 童話 Café Noël 晚风 夏天 月光 Été 海边 故乡"},
};

std::string stored(Charset c, std::string_view utf8) {
  std::optional<std::string> s = c == Charset::Gbk      ? text::utf8ToGb(utf8)
                                 : c == Charset::Big5   ? testing::utf8ToBig5(utf8)
                                 : c == Charset::Latin1 ? testing::utf8ToLatin1(utf8)
                                                        : std::optional<std::string>(utf8);
  EXPECT_TRUE(s) << utf8;
  return s.value_or("");
}

std::string frame(std::string_view id, std::string_view text) {
  const auto n = static_cast<std::uint32_t>(text.size() + 1);
  return std::string(id) + static_cast<char>(n >> 24) + static_cast<char>(n >> 16) +
         static_cast<char>(n >> 8) + static_cast<char>(n) + "\0\0\0"s + std::string(text);
}

std::string tag23(std::string_view frames) {
  return "ID3\x03\0\0"s + encodeSyncSafe(static_cast<std::uint32_t>(frames.size())) + std::string(frames);
}

struct Track {
  Charset stored;
  std::string title;  // UTF-8
  std::string tag;
};

// `titleOnly`: the artist and album left out, as tags whose other texts
// are labelled say nothing of the title's encoding.
std::vector<std::vector<Track>> generate(bool titleOnly) {
  std::vector<std::vector<Track>> folders;
  for (const Album& a : kAlbums) {
    std::vector<Track>& f = folders.emplace_back();
    std::istringstream titles(a.titles);
    for (std::string t; titles >> t;) {
      std::string frames = frame("TIT2", stored(a.stored, t));
      if (!titleOnly)
        frames += frame("TPE1", stored(a.stored, a.artist)) + frame("TALB", stored(a.stored, a.album));
      f.push_back({a.stored, t, tag23(frames)});
    }
  }
  return folders;
}

struct Count {
  int right = 0, uncertain = 0, wrong = 0;
};

// The title after the repair: read from the new tag, or as stored under
// encoding 0 when nothing was written (what ISO-8859-1 texts should get).
void judge(Count& c, const Track& t, const ConversionPlan& p) {
  if (!p.uncertain.empty()) {
    ++c.uncertain;
    return;
  }
  bool ok = false;
  if (p.newTag) {
    TagFields f;
    ok = t.stored != Charset::Latin1 && parseId3v2Tag(*p.newTag, f) && text::gbToUtf8(f[kTitle]) == t.title;
  } else {
    ok = t.stored == Charset::Latin1;
  }
  ++(ok ? c.right : c.wrong);
}

void measure(bool titleOnly) {
  const auto folders = generate(titleOnly);
  constexpr std::size_t kKinds = 4;  // GBK, Big5, ISO-8859-1, UTF-8
  const auto kind = [](Charset c) {
    return c == Charset::Gbk ? 0u : c == Charset::Big5 ? 1u : c == Charset::Latin1 ? 2u : 3u;
  };
  std::array<Count, kKinds> alone{}, tag{}, folder{}, picked{};
  for (const auto& tracks : folders) {
    text::Evidence pool;
    for (const Track& t : tracks) pool += tagEvidence(t.tag, {});
    for (const Track& t : tracks) {
      const std::size_t k = kind(t.stored);
      const text::Reading r = text::readUnlabelled(stored(t.stored, t.title));
      const bool sameText = text::gbToUtf8(r.text) == t.title;
      ++(r.uncertain ? alone[k].uncertain : sameText ? alone[k].right : alone[k].wrong);
      judge(tag[k], t, planConversion(t.tag, {}));
      judge(folder[k], t, planConversion(t.tag, {}, &pool));
      // The user names the album's code page; ISO-8859-1 and UTF-8 get GBK, what a wrong pick could harm.
      const Charset pick = t.stored == Charset::Big5 ? Charset::Big5 : Charset::Gbk;
      judge(picked[k], t, planConversion(t.tag, {}, &pool, pick));
    }
  }
  const char* const names[kKinds] = {"GBK", "Big5", "ISO-8859-1", "UTF-8"};
  for (std::size_t k = 0; k < kKinds; ++k) {
    const auto line = [&](const char* stage, const Count& c) {
      std::printf("  %-10s %-11s %-12s %3d right, %3d uncertain, %3d wrong\n", names[k],
                  titleOnly ? "title only" : "with others", stage, c.right, c.uncertain, c.wrong);
    };
    line("alone", alone[k]);
    line("with tag", tag[k]);
    line("with folder", folder[k]);
    line("code page", picked[k]);
    EXPECT_EQ(alone[k].wrong + tag[k].wrong + folder[k].wrong + picked[k].wrong, 0) << names[k];
    EXPECT_EQ(picked[k].uncertain, 0) << names[k];
  }
  EXPECT_EQ(folder[0].right, 168);
  EXPECT_EQ(picked[1].right, 39);
  for (const std::size_t k : {2u, 3u}) {
    EXPECT_EQ(alone[k].right, folder[k].right) << names[k];
    EXPECT_EQ(folder[k].right, picked[k].right) << names[k];
  }
}

TEST(PooledReadings, HeldOutAlbums) {
  measure(false);
  measure(true);
}

// The editor marks a box only when the folder cannot decide it either: 家 in
// Big5 reads as GBK alone, as Big5 beside the album.
TEST(PooledReadings, EditorMarksWhatTheFolderLeavesOpen) {
  for (const bool album : {false, true}) {
    tagtest::TempDir dir;
    const std::vector<std::string> titles =
        album ? std::vector<std::string>{"家", "童話", "想你", "朋友", "老師"}
              : std::vector<std::string>{"家"};
    for (std::size_t i = 0; i < titles.size(); ++i)
      tagtest::writeBytes(
          dir.file(std::to_string(i) + ".mp3"),
          tagtest::fakeAudio(400) + buildId3v1Block(stored(Charset::Big5, titles[i]), "", "", "", ""));
    const EditorTags t = loadEditorTags(dir.file("0.mp3"));
    ASSERT_TRUE(t.hasV1);
    EXPECT_EQ(t.v1[kTitle] == text::gb("家"), album);
    EXPECT_EQ(t.v1Others[kTitle].has_value(), !album);
  }
}

}  // namespace
}  // namespace qorin::tags
