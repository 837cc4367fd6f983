#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes src/text/detect_tables.inc: what a double-byte character costs the
reading that produces it, for text::readUnlabelled.

A cost is about -log2 of how often the character turns up in real titles and
names, in bits; 255 marks a code that is no character. The validity of a code
is glibc's iconv (GB18030, CP950), so a reading the tables allow converts. How
common a character is comes from the lists below: the most frequent Chinese
characters of ordinary text, roughly in order, then the commonest surnames and
given-name characters, written for this program. A traditional character takes
the rank of its simplified form. Run on a glibc system and commit the output.
"""
import bz2
import ctypes
import os

libc = ctypes.CDLL(None)
libc.iconv_open.restype = ctypes.c_void_p
libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
libc.iconv.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t),
                       ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t)]


def decoder(charset):
    cd = libc.iconv_open(b"UTF-32LE", charset)

    def decode(b):
        libc.iconv(cd, None, None, None, None)
        src, left = ctypes.c_char_p(b), ctypes.c_size_t(len(b))
        out = ctypes.create_string_buffer(16)
        dst, room = ctypes.cast(out, ctypes.c_char_p), ctypes.c_size_t(16)
        r = libc.iconv(cd, ctypes.byref(src), ctypes.byref(left), ctypes.byref(dst), ctypes.byref(room))
        if r == ctypes.c_size_t(-1).value or left.value or room.value != 12:
            return None
        return int.from_bytes(out.raw[:4], "little")

    return decode


# The most frequent characters of ordinary modern text, most frequent first.
COMMON = (
    "的一是不了人我在有他这中大来上国个到说们为子和你地出道也时年得就那要下以生会自着去之过家学对可她里后小么心多天"
    "而能好都然没日于起还发成事只作当想看文无开手十用主行方又如前所本见经头面公同三已老从动两长知民样现分将外但身些"
    "与高意进把法此实回二理美点月明其种声全工己话儿者向情部正名定女问力机给等几很业最间新什打便位因重被走电四第门相"
    "次东政海口使教西再平真听世气信北少关并内加化由却代军产入先山五太水万市眼体别处总才场师书比住员九笑性通目华报立"
    "马命张活难神数件安表原车白应路期叫死常提感金何更反合放做系计或司利受光王果亲界及今京务制解各任至清物台象记边共"
    "风战干接它许八特觉望直服毛林题建南度统色字请交爱让认算论百吃义科怎元社术结六功指思非流每青管夫连远资队跟带花快"
    "条院变联言权往展该领传近留红治决周保达办运武半候七必城父强步完革深区即求品士转量空甚众技轻程告江语英基派满式李"
    "息写呢识极令黄德收脸钱党倒未持取设始版双历越史商千片容研像找友孩站广改议形委早房音火际则首单据导影失拿网香似斯"
    "专石若兵弟谁校读志飞观争究包组造落视济喜离虽坐集编宝谈府拉黑且随格尽剑讲布杀微怕母调局根曾准团段终乐切级克精哪"
    "官示冷病诉停底床雨河亮夜朝村春秋冬夏梦泪歌唱曲舞恋缘念忆忘魂温柔孤独寂寞伤痛苦甜蜜幸福阳云雪雷雾岛故乡园姑娘妹"
    "哥姐爸妈宝贝天使永远等待放弃相信希望未来回家离开寻找拥抱陪伴温暖思念告别约定承诺誓言秘密勇敢坚强骄傲眼泪笑容声"
    "音影子季节午夜黎明黄昏晚安早晨星期周末假期旅行列车站台码头港湾桥梁街道路口广场公园校园教室操场宿舍图书馆咖啡茶"
    "酒杯烟灯窗帘门锁钥匙镜子照片信封邮票日记本歌词旋律节奏吉他钢琴鼓琴弦笛箫琵琶二胡锣钟铃宫殿庙塔寺院楼阁亭台轩榭"
    "愿醉醒睡梦境幻想迷惘徘徊彷徨流浪漂泊飘零落叶枫樱桃梅兰竹菊荷莲牡丹玫瑰茉莉百合向日葵蝴蝶蜻蜓燕鹰鸽鸟鱼龙凤虎狼"
    "熊猫狗猴兔鼠牛羊猪鸡鸭鹅蛇狐狸鹿象狮豹马驴骡骆驼企鹅海豚鲸鲨虾蟹贝壳珍珠钻石翡翠玉琥珀水晶银铜铁锡铅钢铝"
    "似乎仿佛依然仍旧依旧曾经已经正在将要刚刚马上立刻突然忽然渐渐慢慢悄悄默默静静轻轻深深浅浅淡淡浓浓满满空空远远近近"
    "傻瓜笨蛋坏蛋好人坏人男孩女孩男人女人老人小孩青年中年少女少男新娘新郎丈夫妻子先生太太小姐阿姨叔叔伯伯舅舅爷奶"
    "外婆公婆嫂嫂弟媳侄儿孙女儿子女儿同学同事老师学生医生护士警察军人司机工人农民商人记者作家画家歌手演员导演明星偶像"
    "粉丝观众听众读者朋友伙伴兄弟姐妹情侣恋人知己敌人对手陌生熟悉亲爱亲密暧昧纯真单纯简单复杂困难容易辛苦努力奋斗拼搏"
    "坚持放手转身回头抬头低头点头摇头挥手握手分手牵手拍手双手左手右手心跳呼吸叹息哭泣微笑大笑哭笑欢笑嘲笑冷笑傻笑"
)

# The commonest surnames and given-name characters.
NAMES = (
    "王李张刘陈杨黄赵周吴徐孙马胡朱郭何罗高林郑梁谢唐许冯宋韩邓彭曹曾田萧潘袁蔡蒋余于杜叶程魏苏吕丁任卢姚沈钟姜崔谭"
    "陆范汪廖石金韦贾夏付方邹熊白孟秦邱侯江尹薛闫段雷龙黎史陶贺毛郝顾龚邵万覃武钱戴严欧莫孔向常汤康易乔赖文施洪辛柯"
    "庄滕温祝章阎欧阳司徒上官诸葛令狐慕容"
    "伟芳娜敏静丽强磊军洋勇艳杰娟涛明超秀霞平刚桂英华玉萍红鹏飞玲燕辉俊峰宇浩然子轩梓涵欣怡雨萱思琪佳颖嘉欣诗梦瑶"
    "晨曦雅婷倩雯琳璐莹蕾薇岚菲婕妍瑾瑜琦琪瑞祥福禄寿喜庆荣昌盛兴旺富贵吉利安康宁静志诚忠孝仁义礼智信德才贤良淑"
    "惠敬爱晓蓉蕊颜姗珊娅媛婉婧妮姿媚娇艺彤彦博文斌彬森淼鑫磊晶焱垚犇骉麟凯旋航宏毅坤乾泽润涵溪澜波涌潮源泉洁清"
)

# Simplified and traditional forms of characters that differ, pair by pair.
S2T = (
    "这這们們来來国國个個说說为為时時会會对對学學么麼后後发發过過经經动動两兩长長现現实實点點种種声聲话話间間业業问問"
    "机機给給几幾东東电電门門进進开開关關无無见見头頭从從样樣将將与與里裏儿兒么麼还還没沒当當么麼体體别別处處总總师師"
    "书書员員华華报報马馬张張难難数數车車应應亲親记記边邊战戰觉覺统統请請爱愛让讓认認论論义義术術结結观觀争爭组組造造"
    "飞飛视視济濟离離虽雖编編宝寶谈談府府随隨尽盡剑劍讲講杀殺调調团團终終乐樂级級仅僅属屬单單据據导導网網专專谁誰读讀"
    "语語满滿写寫识識极極黄黃钱錢党黨历歷运運办辦达達区區转轉众眾轻輕技技许許风風干幹务務制製解解台臺象象岁歲带帶条條"
    "联聯权權该該领領传傳红紅治治决決周週保保远遠资資队隊连連兴興叶葉乡鄉园園梦夢泪淚恋戀缘緣忆憶魂魂温溫伤傷苦苦阳陽"
    "云雲雾霧岛島妈媽宝寶贝貝约約诺諾誓誓勇勇骄驕声聲影影节節晚晚钟鐘铃鈴灯燈锁鎖钥鑰镜鏡词詞旋旋琴琴鼓鼓笛笛宫宮庙廟"
    "楼樓阁閣亭亭愿願醉醉睡睡梦夢惘惘徘徘浪浪飘飄叶葉樱櫻桃桃梅梅兰蘭荷荷莲蓮丹丹玫玫瑰瑰蝴蝴蝶蝶蜓蜓燕燕鹰鷹鸽鴿鸟鳥"
    "鱼魚龙龍凤鳳虎虎狼狼熊熊猫貓狗狗猴猴兔兔鼠鼠牛牛羊羊猪豬鸡雞鸭鴨鹅鵝蛇蛇狐狐鹿鹿狮獅豹豹驴驢骡騾骆駱驼駝鲸鯨鲨鯊"
    "虾蝦蟹蟹贝貝壳殼钻鑽翡翡翠翠琥琥珀珀银銀铜銅铁鐵锡錫铅鉛钢鋼铝鋁仿仿渐漸悄悄静靜轻輕浓濃满滿远遠傻傻笨笨坏壞孩孩"
    "妇婦郎郎丈丈妻妻阿阿姨姨叔叔伯伯舅舅爷爺奶奶婆婆嫂嫂媳媳侄姪孙孫医醫护護警警军軍司司机機农農商商记記者者画畫演演"
    "导導观觀听聽读讀伙夥兄兄侣侶敌敵陌陌熟熟亲親密密暧曖昧昧纯純单單简簡复複杂雜难難辛辛努努奋奮斗鬥拼拼坚堅持持转轉"
    "头頭抬抬摇搖挥揮握握拍拍双雙左左右右跳跳呼呼吸吸叹嘆息息哭哭泣泣欢歡嘲嘲刘劉杨楊赵趙吴吳孙孫郭郭罗羅郑鄭谢謝许許"
    "冯馮韩韓邓鄧彭彭萧蕭苏蘇吕呂卢盧钟鍾谭譚陆陸汪汪廖廖韦韋贾賈邹鄒闫閆龙龍贺賀郝郝顾顧龚龔万萬钱錢戴戴严嚴欧歐莫莫"
    "汤湯赖賴庄莊滕滕阎閻伟偉强強军軍艳艷杰傑涛濤秀秀霞霞刚剛桂桂鹏鵬辉輝俊俊峰峰轩軒梓梓涵涵萱萱颖穎诗詩瑶瑤晓曉"
    "岚嵐婕婕妍妍瑾瑾瑜瑜琦琦琪琪瑞瑞祥祥福福禄祿寿壽喜喜庆慶荣榮昌昌盛盛兴興旺旺富富贵貴吉吉利利宁寧志志诚誠忠忠孝孝"
    "仁仁义義礼禮智智信信德德才才贤賢良良淑淑惠惠敬敬蓉蓉蕊蕊颜顏姗姍珊珊娅婭媛媛婉婉婧婧妮妮姿姿媚媚娇嬌艺藝彤彤彦彥"
    "博博斌斌彬彬森森鑫鑫晶晶凯凱旋旋航航宏宏毅毅坤坤乾乾泽澤润潤溪溪澜瀾波波涌湧潮潮源源泉泉洁潔清清陈陳黄黃邱邱"
    "钟鍾倾傾诉訴伦倫谦謙邓鄧丽麗静靜爱愛恋戀忆憶湾灣岁歲车車门門宝寶贝貝"
)

ranked = []
for ch in COMMON + NAMES:
    if ch not in ranked:
        ranked.append(ch)
simplified_rank = {ch: i for i, ch in enumerate(ranked)}
traditional_rank = dict(simplified_rank)
for i in range(0, len(S2T) - 1, 2):
    s, t = S2T[i], S2T[i + 1]
    if s in simplified_rank and t not in simplified_rank:
        traditional_rank[t] = simplified_rank[s]


# Beside the lists: how often each character turns up in modern simplified
# text, by the counts of Unihan's kHanyuPinlu (the Unicode Character Database
# as Debian's unicode-data installs it; needed only to run this script).
# Its traditional-text classes (kFrequency) were tried as well: they made
# Big5 readings of simplified names cheaper than those names' own reading.
# Traditional forms take the rank of their simplified form instead.
UNIHAN = "/usr/share/unicode"


def unihan(name, field):
    with bz2.open(os.path.join(UNIHAN, name + ".txt.bz2"), "rt", encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if len(parts) == 3 and parts[1] == field:
                yield chr(int(parts[0][2:], 16)), parts[2]


pinlu = {}
for ch, value in unihan("Unihan_Readings", "kHanyuPinlu"):
    pinlu[ch] = sum(int(x[x.index("(") + 1:x.index(")")]) for x in value.split())
for i, ch in enumerate(sorted(pinlu, key=lambda c: -pinlu[c])):
    simplified_rank[ch] = min(simplified_rank.get(ch, i), i)
# A traditional form is as common as its simplified one: the pairs above and
# every pair the Unicode database knows.
pairs = [(S2T[i], S2T[i + 1]) for i in range(0, len(S2T) - 1, 2)]
for t, v in unihan("Unihan_Variants", "kSimplifiedVariant"):
    pairs += [(chr(int(x[2:], 16)), t) for x in v.split()]
for s_form, t in pairs:
    if s_form != t and s_form in simplified_rank:
        traditional_rank[t] = min(traditional_rank.get(t, simplified_rank[s_form]), simplified_rank[s_form])


def ranked_cost(ch, other, rank):
    """Bits of a ranked character (never more than `other`), else `other`."""
    r = rank.get(ch)
    if r is None:
        return other
    return min(other, 7 if r < 100 else 8 if r < 300 else 9 if r < 700 else 10 if r < 1500 else 11 if r < 2500 else 12)


def gb2312_level(ch):
    """1 or 2 for GB2312's levels of Chinese characters, 0 outside them."""
    try:
        b = ch.encode("gb2312")
    except UnicodeEncodeError:
        return 0
    return 1 if len(b) == 2 and 0xB0 <= b[0] <= 0xD7 else 2 if len(b) == 2 and 0xD8 <= b[0] <= 0xF7 else 0


def big5_block(ch):
    """Where Big5 keeps the character: 1 frequent, 2 less frequent, 0 nowhere."""
    try:
        code = int.from_bytes(ch.encode("cp950"), "big")
    except UnicodeEncodeError:
        return 0
    return 1 if 0xA440 <= code <= 0xC67E else 2 if 0xC940 <= code <= 0xF9D5 else 0


def cjk(cp):
    return 0x4E00 <= cp <= 0x9FFF or 0x3400 <= cp <= 0x4DBF or 0xF900 <= cp <= 0xFAFF


def pua(cp):
    return 0xE000 <= cp <= 0xF8FF


# Full-width punctuation titles use: 、。·…—～‘’“”〈〉《》「」『』【】〔〕（），！？：；
COMMON_PUNCT = set("、。·…—～‘’“”〈〉《》「」『』【】〔〕（），！？：；　")

gb_decode = decoder(b"GB18030")
b5_decode = decoder(b"CP950")
TRAILS_GBK = list(range(0x40, 0x7F)) + list(range(0x80, 0xFF))
TRAILS_BIG5 = list(range(0x40, 0x7F)) + list(range(0xA1, 0xFF))

gbk = []
for lead in range(0x81, 0xFF):
    for trail in TRAILS_GBK:
        cp = gb_decode(bytes([lead, trail]))
        if cp is None:
            cost = 255
        elif pua(cp):
            cost = 40
        else:
            ch = chr(cp)
            if ch in COMMON_PUNCT:
                cost = 9
            elif 0xB0 <= lead <= 0xD7 and trail >= 0xA1:  # GB2312 level 1
                cost = ranked_cost(ch, 12, simplified_rank)
            elif 0xD8 <= lead <= 0xF7 and trail >= 0xA1:  # GB2312 level 2
                cost = ranked_cost(ch, 17, simplified_rank)
            elif cjk(cp):  # the GBK extension: mostly traditional forms
                cost = ranked_cost(ch, {1: 12, 2: 16, 0: 18}[big5_block(ch)], traditional_rank) + 1
            elif lead == 0xA3 and trail >= 0xA1:  # full-width ASCII
                cost = 11
            elif lead in (0xA1, 0xA2) and trail >= 0xA1:  # symbols, numbers
                cost = 12
            elif lead in (0xA4, 0xA5) and trail >= 0xA1:  # kana
                cost = 15
            elif lead == 0xA9 and trail >= 0xA1:  # box drawing: no title has it
                cost = 20
            elif 0xA6 <= lead <= 0xA8 and trail >= 0xA1:  # Greek, Cyrillic, pinyin
                cost = 14
            else:
                cost = 16
        gbk.append(cost)

big5 = []
for lead in range(0x81, 0xFF):
    for trail in TRAILS_BIG5:
        code = lead << 8 | trail
        cp = b5_decode(bytes([lead, trail]))
        if cp is None:
            cost = 255
        elif pua(cp):
            cost = 40
        else:
            ch = chr(cp)
            if ch in COMMON_PUNCT:
                cost = 9
            elif 0xA440 <= code <= 0xC67E:  # frequent characters
                # Shared with simplified writing: as common as GB2312 says.
                cost = ranked_cost(ch, {1: 12, 2: 16, 0: 13}[gb2312_level(ch)], traditional_rank)
            elif 0xC940 <= code <= 0xF9D5:  # less frequent characters
                cost = ranked_cost(ch, 17, traditional_rank)
            elif lead in (0xA1, 0xA2):
                cost = 12
            elif lead == 0xA3:  # bopomofo, Greek
                cost = 14
            else:
                cost = 16
        big5.append(cost)

# CJK unified ideographs U+4E00-U+9FFF as UTF-8 writes them.
han = []
for cp in range(0x4E00, 0xA000):
    ch = chr(cp)
    try:
        ch.encode("gb2312")
        common = True
    except UnicodeEncodeError:
        common = False
    han.append(ranked_cost(ch, 12 if common or big5_block(ch) == 1 else 15, traditional_rank))


def table(name, ctype, values, comment):
    lines = [f"// {comment}", f"constexpr {ctype} {name}[{len(values)}] = {{"]
    for i in range(0, len(values), 24):
        lines.append("    " + ",".join(str(v) for v in values[i:i + 24]) + ",")
    lines.append("};")
    return lines


out = ["// Generated by tools/gen_detect_tables.py; do not edit.", ""]
out += table("kGbkCost", "std::uint8_t", gbk, "GBK/GB18030 two-byte codes: lead 0x81-0xFE by trail 0x40-0x7E, 0x80-0xFE.")
out.append("")
out += table("kBig5Cost", "std::uint8_t", big5, "Big5 (CP950) codes: lead 0x81-0xFE by trail 0x40-0x7E, 0xA1-0xFE.")
out.append("")
out += table("kHanCost", "std::uint8_t", han, "CJK unified ideographs U+4E00-U+9FFF.")

path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "text", "detect_tables.inc")
with open(path, "w", encoding="ascii", newline="\n") as f:
    f.write("\n".join(out) + "\n")
print(f"{os.path.normpath(path)}: {len(gbk)} GBK, {len(big5)} Big5, {len(han)} ideographs, {len(traditional_rank)} ranked")
