#include "name_encoding.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cerrno>

namespace archivers {
namespace {

// --- UTF-8 -----------------------------------------------------------------

unsigned char ByteAt(std::string_view text, size_t i) { return static_cast<unsigned char>(text[i]); }

// The code point of the well-formed sequence of `length` bytes at text[i].
char32_t DecodeAt(std::string_view text, size_t i, size_t length) {
    static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t c = ByteAt(text, i) & kLeadMask[length];
    for (size_t k = 1; k < length; ++k) c = (c << 6) | (ByteAt(text, i + k) & 0x3F);
    return c;
}

void AppendEscape(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

// --- Common kanji ----------------------------------------------------------

// The Jōyō kanji, the 2136 characters of general use (2010 list), in the
// list's order, 𠮟 written 叱. 塡, 剝 and 頰 stand in it in forms that CP932
// cannot write; the forms 填, 剥 and 頬 that names in CP932 carry are added
// on the last line.
constexpr std::string_view kJoyoKanji[] = {
    "亜哀挨愛曖悪握圧扱宛嵐安案暗以衣位囲医依委威為畏胃尉異移萎偉椅彙意違維慰遺緯域育一壱逸茨芋引印因咽姻員院淫陰飲隠韻右宇羽雨唄鬱畝浦運雲永泳英映栄営詠影鋭衛易疫益液駅悦越謁閲円延沿炎宴怨媛援園煙猿遠鉛塩",
    "演縁艶汚王凹央応往押旺欧殴桜翁奥横岡屋億憶臆虞乙俺卸音恩温穏下化火加可仮何花佳価果河苛科架夏家荷華菓貨渦過嫁暇禍靴寡歌箇稼課蚊牙瓦我画芽賀雅餓介回灰会快戒改怪拐悔海界皆械絵開階塊楷解潰壊懐諧貝外劾害崖",
    "涯街慨蓋該概骸垣柿各角拡革格核殻郭覚較隔閣確獲嚇穫学岳楽額顎掛潟括活喝渇割葛滑褐轄且株釜鎌刈干刊甘汗缶完肝官冠巻看陥乾勘患貫寒喚堪換敢棺款間閑勧寛幹感漢慣管関歓監緩憾還館環簡観韓艦鑑丸含岸岩玩眼頑顔願",
    "企伎危机気岐希忌汽奇祈季紀軌既記起飢鬼帰基寄規亀喜幾揮期棋貴棄毀旗器畿輝機騎技宜偽欺義疑儀戯擬犠議菊吉喫詰却客脚逆虐九久及弓丘旧休吸朽臼求究泣急級糾宮救球給嗅窮牛去巨居拒拠挙虚許距魚御漁凶共叫狂京享供",
    "協況峡挟狭恐恭胸脅強教郷境橋矯鏡競響驚仰暁業凝曲局極玉巾斤均近金菌勤琴筋僅禁緊錦謹襟吟銀区句苦駆具惧愚空偶遇隅串屈掘窟熊繰君訓勲薫軍郡群兄刑形系径茎係型契計恵啓掲渓経蛍敬景軽傾携継詣慶憬稽憩警鶏芸迎鯨",
    "隙劇撃激桁欠穴血決結傑潔月犬件見券肩建研県倹兼剣拳軒健険圏堅検嫌献絹遣権憲賢謙鍵繭顕験懸元幻玄言弦限原現舷減源厳己戸古呼固孤弧股虎故枯個庫湖雇誇鼓錮顧五互午呉後娯悟碁語誤護口工公勾孔功巧広甲交光向后好",
    "江考行坑孝抗攻更効幸拘肯侯厚恒洪皇紅荒郊香候校耕航貢降高康控梗黄喉慌港硬絞項溝鉱構綱酵稿興衡鋼講購乞号合拷剛傲豪克告谷刻国黒穀酷獄骨駒込頃今困昆恨根婚混痕紺魂墾懇左佐沙査砂唆差詐鎖座挫才再災妻采砕宰栽",
    "彩採済祭斎細菜最裁債催塞歳載際埼在材剤財罪崎作削昨柵索策酢搾錯咲冊札刷刹拶殺察撮擦雑皿三山参桟蚕惨産傘散算酸賛残斬暫士子支止氏仕史司四市矢旨死糸至伺志私使刺始姉枝祉肢姿思指施師恣紙脂視紫詞歯嗣試詩資飼",
    "誌雌摯賜諮示字寺次耳自似児事侍治持時滋慈辞磁餌璽鹿式識軸七叱失室疾執湿嫉漆質実芝写社車舎者射捨赦斜煮遮謝邪蛇尺借酌釈爵若弱寂手主守朱取狩首殊珠酒腫種趣寿受呪授需儒樹収囚州舟秀周宗拾秋臭修袖終羞習週就衆",
    "集愁酬醜蹴襲十汁充住柔重従渋銃獣縦叔祝宿淑粛縮塾熟出述術俊春瞬旬巡盾准殉純循順準潤遵処初所書庶暑署緒諸女如助序叙徐除小升少召匠床抄肖尚招承昇松沼昭宵将消症祥称笑唱商渉章紹訟勝掌晶焼焦硝粧詔証象傷奨照詳",
    "彰障憧衝賞償礁鐘上丈冗条状乗城浄剰常情場畳蒸縄壌嬢錠譲醸色拭食植殖飾触嘱織職辱尻心申伸臣芯身辛侵信津神唇娠振浸真針深紳進森診寝慎新審震薪親人刃仁尽迅甚陣尋腎須図水吹垂炊帥粋衰推酔遂睡穂随髄枢崇数据杉裾",
    "寸瀬是井世正生成西声制姓征性青斉政星牲省凄逝清盛婿晴勢聖誠精製誓静請整醒税夕斥石赤昔析席脊隻惜戚責跡積績籍切折拙窃接設雪摂節説舌絶千川仙占先宣専泉浅洗染扇栓旋船戦煎羨腺詮践箋銭潜線遷選薦繊鮮全前善然禅",
    "漸膳繕狙阻祖租素措粗組疎訴塑遡礎双壮早争走奏相荘草送倉捜挿桑巣掃曹曽爽窓創喪痩葬装僧想層総遭槽踪操燥霜騒藻造像増憎蔵贈臓即束足促則息捉速側測俗族属賊続卒率存村孫尊損遜他多汰打妥唾堕惰駄太対体耐待怠胎退",
    "帯泰堆袋逮替貸隊滞態戴大代台第題滝宅択沢卓拓託濯諾濁但達脱奪棚誰丹旦担単炭胆探淡短嘆端綻誕鍛団男段断弾暖談壇地池知値恥致遅痴稚置緻竹畜逐蓄築秩窒茶着嫡中仲虫沖宙忠抽注昼柱衷酎鋳駐著貯丁弔庁兆町長挑帳張",
    "彫眺釣頂鳥朝貼超腸跳徴嘲潮澄調聴懲直勅捗沈珍朕陳賃鎮追椎墜通痛塚漬坪爪鶴低呈廷弟定底抵邸亭貞帝訂庭逓停偵堤提程艇締諦泥的笛摘滴適敵溺迭哲鉄徹撤天典店点展添転塡田伝殿電斗吐妬徒途都渡塗賭土奴努度怒刀冬灯",
    "当投豆東到逃倒凍唐島桃討透党悼盗陶塔搭棟湯痘登答等筒統稲踏糖頭謄藤闘騰同洞胴動堂童道働銅導瞳峠匿特得督徳篤毒独読栃凸突届屯豚頓貪鈍曇丼那奈内梨謎鍋南軟難二尼弐匂肉虹日入乳尿任妊忍認寧熱年念捻粘燃悩納能",
    "脳農濃把波派破覇馬婆罵拝杯背肺俳配排敗廃輩売倍梅培陪媒買賠白伯拍泊迫剝舶博薄麦漠縛爆箱箸畑肌八鉢発髪伐抜罰閥反半氾犯帆汎伴判坂阪板版班畔般販斑飯搬煩頒範繁藩晩番蛮盤比皮妃否批彼披肥非卑飛疲秘被悲扉費碑",
    "罷避尾眉美備微鼻膝肘匹必泌筆姫百氷表俵票評漂標苗秒病描猫品浜貧賓頻敏瓶不夫父付布扶府怖阜附訃負赴浮婦符富普腐敷膚賦譜侮武部舞封風伏服副幅復福腹複覆払沸仏物粉紛雰噴墳憤奮分文聞丙平兵併並柄陛閉塀幣弊蔽餅",
    "米壁璧癖別蔑片辺返変偏遍編弁便勉歩保哺捕補舗母募墓慕暮簿方包芳邦奉宝抱放法泡胞俸倣峰砲崩訪報蜂豊飽褒縫亡乏忙坊妨忘防房肪某冒剖紡望傍帽棒貿貌暴膨謀頰北木朴牧睦僕墨撲没勃堀本奔翻凡盆麻摩磨魔毎妹枚昧埋幕",
    "膜枕又末抹万満慢漫未味魅岬密蜜脈妙民眠矛務無夢霧娘名命明迷冥盟銘鳴滅免面綿麺茂模毛妄盲耗猛網目黙門紋問冶夜野弥厄役約訳薬躍闇由油喩愉諭輸癒唯友有勇幽悠郵湧猶裕遊雄誘憂融優与予余誉預幼用羊妖洋要容庸揚揺",
    "葉陽溶腰様瘍踊窯養擁謡曜抑沃浴欲翌翼拉裸羅来雷頼絡落酪辣乱卵覧濫藍欄吏利里理痢裏履璃離陸立律慄略柳流留竜粒隆硫侶旅虜慮了両良料涼猟陵量僚領寮療瞭糧力緑林厘倫輪隣臨瑠涙累塁類令礼冷励戻例鈴零霊隷齢麗暦歴",
    "列劣烈裂恋連廉練錬呂炉賂路露老労弄郎朗浪廊楼漏籠六録麓論和話賄脇惑枠湾腕",
    "填剥頬",
};

constexpr char32_t kFirstIdeograph = 0x4E00;
constexpr char32_t kLastIdeograph = 0x9FFF;

bool IsJoyo(char32_t c) {
    static const auto table = [] {
        std::bitset<kLastIdeograph - kFirstIdeograph + 1> bits;
        for (std::string_view line : kJoyoKanji)
            for (size_t i = 0; i < line.size(); i += 3) bits.set(DecodeAt(line, i, 3) - kFirstIdeograph);
        return bits;
    }();
    return c >= kFirstIdeograph && c <= kLastIdeograph && table.test(c - kFirstIdeograph);
}

// --- Plausibility ----------------------------------------------------------

// What a character is worth in a name or text. Most are worth a fixed score
// by their block; some depend on their neighbours.
enum class Kind : uint8_t {
    Plain,
    AsciiLetter,
    Letter,     // a Latin letter beyond ASCII: worth more beside an ASCII one
    Combining,  // a combining accent: plausible after a Latin letter only
    Kana,
    KanaMark,   // the combining voiced marks: plausible after kana only
    Kanji,      // worth kJoyo when a common kanji, else the block's score
    HalfWidth,  // half-width katakana: scored by runs
};

struct Block {
    char32_t first;
    int score;
    Kind kind = Kind::Plain;
};

// Each block runs up to the next one's first code point.
constexpr Block kBlocks[] = {
    {0x0000, -4},  // control characters (TAB, LF and CR are worth 0)
    {0x0020, 0},   // space and punctuation
    {0x0030, 1},   // digits
    {0x003A, 0},
    {0x0041, 1, Kind::AsciiLetter},
    {0x005B, 0},
    {0x0061, 1, Kind::AsciiLetter},
    {0x007B, 0},
    {0x007F, -4},  // DEL
    {0x0080, -8},  // C1 control characters
    {0x00A0, 0},   // Latin-1 signs
    {0x00C0, 4, Kind::Letter},
    {0x00D7, 0},  // ×
    {0x00D8, 4, Kind::Letter},
    {0x00F7, 0},  // ÷
    {0x00F8, 4, Kind::Letter},
    {0x0100, 2, Kind::Letter},  // Latin Extended-A
    {0x0180, -3},               // Latin Extended-B
    {0x0250, -4},               // IPA
    {0x02B0, -3},               // spacing modifier letters
    {0x0300, -5, Kind::Combining},
    {0x0370, 1},  // Greek
    {0x0400, 2},  // Cyrillic
    {0x0460, 0},  // other alphabets
    {0x1E00, 1, Kind::Letter},  // Latin Extended Additional
    {0x1F00, 0},
    {0x2000, -2},  // spaces of other widths, zero-width and direction marks
    {0x2010, 1},   // dashes, quotation marks, ‥ …
    {0x2028, -2},
    {0x2030, 1},  // ‰ ′ ″ ※
    {0x2060, -2},
    {0x2070, -1},  // superscripts and subscripts
    {0x20A0, 0},   // currency signs
    {0x20D0, -5},  // combining marks for symbols
    {0x2100, 0},   // ℃ № ℡
    {0x2150, 1},   // Roman numerals
    {0x2190, 0},   // arrows, mathematical and technical signs
    {0x2400, -2},  // control pictures
    {0x2460, 1},   // ① ⑴ ⒜
    {0x2500, -4},  // box drawing and block elements
    {0x25A0, 0},   // ■ △ ○ ★ ♪
    {0x27C0, -1},
    {0x2E80, -3},  // radicals and ideographic description
    {0x3000, 1},   // 、。「」【】〜
    {0x3005, 4},   // 々
    {0x3006, 2},   // 〆 〇
    {0x3008, 1},
    {0x3040, -6},
    {0x3041, 5, Kind::Kana},  // hiragana
    {0x3097, -6},
    {0x3099, -5, Kind::KanaMark},
    {0x309B, 1},  // ゛ ゜
    {0x309D, 3, Kind::Kana},
    {0x309F, 0},
    {0x30A1, 5, Kind::Kana},  // katakana
    {0x30FB, 3},              // ・
    {0x30FC, 5, Kind::Kana},  // ー
    {0x30FD, 3, Kind::Kana},
    {0x30FF, 0},
    {0x3100, -2},
    {0x31F0, 1, Kind::Kana},
    {0x3200, 1},   // ㈱ ㊤
    {0x3300, 0},   // ㌔ ㍉
    {0x3400, -1},  // rare ideographs (extension A)
    {0x4DC0, -3},
    {kFirstIdeograph, 0, Kind::Kanji},
    {kLastIdeograph + 1, -2},
    {0xAC00, 1},  // Hangul
    {0xD7B0, -6},
    {0xE000, -6},  // private use, CP932's user area among it
    {0xF900, 0},   // compatibility ideographs (﨑)
    {0xFB00, 0},
    {0xFDD0, -6},
    {0xFDF0, 0},
    {0xFE10, -1},  // vertical and small forms
    {0xFE70, 0},
    {0xFEFF, -2},
    {0xFF00, -6},
    {0xFF01, 1},  // full-width signs
    {0xFF10, 2},  // full-width digits
    {0xFF1A, 1},
    {0xFF21, 2},
    {0xFF3B, 1},
    {0xFF41, 2},
    {0xFF5B, 1},
    {0xFF5F, -1},
    {0xFF61, 0, Kind::HalfWidth},
    {0xFFA0, -3},
    {0xFFE0, 1},  // ￠ ￡ ￥
    {0xFFE7, -1},
    {0xFFF0, -6},  // U+FFFD, the replacement character, and non-characters
    {0x10000, -3},
    {0x1F000, 1},  // pictographs
    {0x1FB00, -3},
    {0x20000, -2},  // rare ideographs
    {0x40000, -3},
    {0xF0000, -6},  // private use
};

constexpr int kJoyo = 6;
constexpr int kNotUtf8 = -8;  // a byte of no character

// Half-width katakana are a legacy of Shift-JIS: names written with them are
// words, ﾊﾝｶｸ or ﾃﾞｰﾀ. EUC-JP kana and many kanji read as Shift-JIS give
// half-width signs ､ ･ ｢, small kana and voiced marks where no word has them,
// and lone characters. A run counts kHalfWidthGood for each character that
// reads as part of a word where it stands and kHalfWidthOdd for each other
// one, less kHalfWidthRun; one that is half odd counts kHalfWidthOdd for
// every character. A two-letter run is worth less than one common kanji, a
// four-letter word more than two.
constexpr int kHalfWidthGood = 5;
constexpr int kHalfWidthOdd = -4;
constexpr int kHalfWidthRun = -8;
constexpr int kHalfWidthLone = -8;
constexpr int kBesideAsciiLetter = 2;  // next to an ASCII letter: for a Latin letter, against a half-width run

const Block& BlockOf(char32_t c) {
    auto after = std::upper_bound(std::begin(kBlocks), std::end(kBlocks), c,
                                  [](char32_t value, const Block& block) { return value < block.first; });
    return *(after - 1);
}

bool IsHalfWidthLetter(char32_t c) { return c == U'ｦ' || (c >= U'ｱ' && c <= U'ﾝ'); }

// The letters that a small kana follows, directly or after the letter's
// voiced mark: ﾌｧ ﾃｨ ﾄｩ ｼｪ ﾌｫ ｷｬ ﾁｭ ﾘｮ, ﾃﾞｨ ｳﾞｧ.
std::u32string_view LettersBeforeSmall(char32_t small) {
    switch (small) {
    case U'ｧ':
    case U'ｫ': return U"ｳｸﾂﾌ";
    case U'ｨ': return U"ｳｸｽﾂﾃﾄﾌ";
    case U'ｩ': return U"ｳｸﾄ";
    case U'ｪ': return U"ｲｳｷｸｼﾁﾂﾃﾆﾋﾌﾐﾘ";
    case U'ｬ':
    case U'ｮ': return U"ｷｼﾁﾆﾋﾌﾐﾘ";
    case U'ｭ': return U"ｷｼﾁﾃﾆﾋﾌﾐﾘ";
    default: return {};
    }
}

// Where a half-width run stands: the last character that read as part of a
// word and the last letter, both 0 at the start and after one that did not.
struct HalfWidthWord {
    char32_t previous = 0;
    char32_t letter = 0;

    // Whether `c` reads as part of the word here; moves on past it.
    bool Take(char32_t c) {
        bool fits = Fits(c);
        previous = fits ? c : 0;
        letter = !fits ? 0 : IsHalfWidthLetter(c) ? c : letter;
        return fits;
    }

private:
    bool Fits(char32_t c) const {
        if (IsHalfWidthLetter(c)) return true;
        bool after_letter = previous != 0 && previous == letter;
        switch (c) {
        case U'ｯ': return previous != 0 && previous != U'ﾝ' && previous != U'ｯ';
        case U'ｰ': return previous != 0;
        case U'ﾞ': return after_letter && (letter == U'ｳ' || (letter >= U'ｶ' && letter <= U'ﾄ') ||
                                           (letter >= U'ﾊ' && letter <= U'ﾎ'));
        case U'ﾟ': return after_letter && letter >= U'ﾊ' && letter <= U'ﾎ';
        default:  // the small kana; ｡ ｢ ｣ ､ ･ never
            return (after_letter || (previous == U'ﾞ' && letter != 0)) &&
                   LettersBeforeSmall(c).find(letter) != std::u32string_view::npos;
        }
    }
};

class Scorer {
public:
    void Add(char32_t c, const Block& block) {
        if (block.kind == Kind::HalfWidth) {
            if (run_length_ == 0) run_after_letter_ = previous_ == Kind::AsciiLetter;
            ++run_length_;
            ++(word_.Take(c) ? run_good_ : run_odd_);
        } else {
            EndRun(block.kind == Kind::AsciiLetter);
            score_ += Score(c, block);
        }
        previous_ = block.kind;
    }

    void AddNotUtf8() {
        EndRun(false);
        score_ += kNotUtf8;
        previous_ = Kind::Plain;
    }

    int Finish() {
        EndRun(false);
        return score_;
    }

private:
    int Score(char32_t c, const Block& block) const {
        switch (block.kind) {
        case Kind::Kanji: return IsJoyo(c) ? kJoyo : block.score;
        case Kind::Combining:
            return previous_ == Kind::AsciiLetter || previous_ == Kind::Letter ? 1 : block.score;
        case Kind::KanaMark: return previous_ == Kind::Kana ? 3 : block.score;
        case Kind::Letter: return block.score + (previous_ == Kind::AsciiLetter ? kBesideAsciiLetter : 0);
        case Kind::AsciiLetter: return block.score + (previous_ == Kind::Letter ? kBesideAsciiLetter : 0);
        default: return c == '\t' || c == '\n' || c == '\r' ? 0 : block.score;
        }
    }

    void EndRun(bool before_letter) {
        if (run_length_ == 0) return;
        int run;
        if (run_length_ == 1)
            run = kHalfWidthLone;
        else if (run_odd_ * 2 >= run_length_)
            run = kHalfWidthOdd * run_length_ + kHalfWidthRun;
        else
            run = kHalfWidthGood * run_good_ + kHalfWidthOdd * run_odd_ + kHalfWidthRun;
        run -= kBesideAsciiLetter * (int{run_after_letter_} + int{before_letter});
        score_ += run;
        run_length_ = run_good_ = run_odd_ = 0;
        word_ = {};
    }

    int score_ = 0;
    Kind previous_ = Kind::Plain;
    int run_length_ = 0, run_good_ = 0, run_odd_ = 0;
    HalfWidthWord word_;
    bool run_after_letter_ = false;
};

// --- Decoding --------------------------------------------------------------

const Utf8Converter& ConverterFor(NameEncoding encoding) {
    // Opened once for each thread that decodes; iconv descriptors are not shared.
    thread_local const Utf8Converter cp932("CP932");
    thread_local const Utf8Converter euc("EUC-JP-MS");
    return encoding == NameEncoding::EucJp ? euc : cp932;
}

// glibc passes these through EUC-JP as C1 control characters; no EUC-JP
// character holds them, so they are taken as undecodable.
bool IsEucControl(unsigned char byte) { return byte >= 0x80 && byte <= 0xA0 && byte != 0x8E && byte != 0x8F; }

size_t DecodeUtf8(std::string_view raw, std::string& out) {
    size_t escaped = 0;
    for (size_t i = 0; i < raw.size();) {
        size_t length = Utf8Length(raw.substr(i));
        if (length == 0 || length > raw.size() - i) {
            AppendEscape(out, ByteAt(raw, i++));
            ++escaped;
            continue;
        }
        out.append(raw, i, length);
        i += length;
    }
    return escaped;
}

size_t DecodeThroughIconv(std::string_view raw, NameEncoding encoding, std::string& out) {
    const Utf8Converter& converter = ConverterFor(encoding);
    size_t escaped = 0;
    while (!raw.empty()) {
        size_t end = raw.size();
        if (encoding == NameEncoding::EucJp)
            end = std::find_if(raw.begin(), raw.end(), [](char b) { return IsEucControl(b); }) - raw.begin();
        raw.remove_prefix(converter.ConvertStart(raw.substr(0, end), out));
        if (raw.empty()) break;
        AppendEscape(out, ByteAt(raw, 0));
        raw.remove_prefix(1);
        ++escaped;
    }
    return escaped;
}

// Appends `raw` decoded in `encoding` (not Auto) to `out`; returns how many
// bytes had to be escaped.
size_t Decode(std::string_view raw, NameEncoding encoding, std::string& out) {
    return encoding == NameEncoding::Utf8 ? DecodeUtf8(raw, out) : DecodeThroughIconv(raw, encoding, out);
}


// Ambiguous names are Shift-JIS, the code most archives of our users carry
// names in; one common kanji outweighs it.
constexpr int kShiftJisBias = 2;

}  // namespace

bool IsAscii(std::string_view raw) {
    return std::all_of(raw.begin(), raw.end(), [](char b) { return static_cast<unsigned char>(b) < 0x80; });
}

size_t Utf8Length(std::string_view text) {
    if (text.empty()) return 0;
    unsigned char lead = ByteAt(text, 0);
    if (lead < 0x80) return 1;
    size_t length = lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0) return 0;
    // The second byte's range excludes overlong forms, surrogates and values above U+10FFFF.
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    for (size_t k = 1; k < length && k < text.size(); ++k) {
        unsigned char c = ByteAt(text, k);
        if (k == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) return 0;
    }
    return length;
}

Utf8Converter::Utf8Converter(const char* from) : cd_(iconv_open("UTF-8", from)) {}

Utf8Converter::~Utf8Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
}

size_t Utf8Converter::ConvertStart(std::string_view in, std::string& out) const {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return 0;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    // iconv's input pointer is not const, but it never writes through it.
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    size_t written = out.size();
    while (left > 0) {
        // Three bytes of UTF-8 for each byte in: enough for CP932 and EUC-JP.
        out.resize(written + 3 * left + 4);
        char* dst = out.data() + written;
        size_t room = out.size() - written;
        size_t result = iconv(cd_, &src, &left, &dst, &room);
        written = static_cast<size_t>(dst - out.data());
        if (result != static_cast<size_t>(-1) || errno != E2BIG) break;
    }
    out.resize(written);
    return in.size() - left;
}

bool Utf8Converter::Convert(std::string_view in, std::string& out) const {
    size_t before = out.size();
    if (ConvertStart(in, out) == in.size()) return true;
    out.resize(before);
    return false;
}

int Plausibility(std::string_view utf8) {
    Scorer scorer;
    for (size_t i = 0; i < utf8.size();) {
        size_t length = Utf8Length(utf8.substr(i));
        if (length == 0 || length > utf8.size() - i) {
            scorer.AddNotUtf8();
            ++i;
            continue;
        }
        char32_t c = DecodeAt(utf8, i, length);
        scorer.Add(c, BlockOf(c));
        i += length;
    }
    return scorer.Finish();
}

NameEncoding GuessNameEncoding(const std::vector<std::string>& raw_names) {
    struct Candidate {
        NameEncoding encoding;
        int64_t score;
        uint64_t escaped = 0;  // bytes that did not decode; the candidate is out from the first
        size_t next = 0;       // the first name not yet decoded in it
    };
    // In the order that settles ties.
    std::array<Candidate, 3> candidates{{
        {NameEncoding::ShiftJis, kShiftJisBias},
        {NameEncoding::Utf8, 0},
        {NameEncoding::EucJp, 0},
    }};
    std::string text;
    auto decode_until = [&](Candidate& candidate, size_t end) {
        for (; candidate.next < end; ++candidate.next) {
            const std::string& raw = raw_names[candidate.next];
            if (IsAscii(raw)) continue;  // the same in every encoding
            text.clear();
            candidate.escaped += Decode(raw, candidate.encoding, text);
            if (candidate.escaped == 0) candidate.score += Plausibility(text);
        }
    };
    // A candidate that is out is decoded no further while another is still
    // in; once all are out, each goes on from where it stopped to count
    // what it cannot decode.
    for (size_t i = 0; i < raw_names.size(); ++i) {
        bool any_in = false;
        for (Candidate& candidate : candidates) {
            if (candidate.escaped != 0) continue;
            decode_until(candidate, i + 1);
            any_in = any_in || candidate.escaped == 0;
        }
        if (any_in) continue;
        for (Candidate& candidate : candidates) decode_until(candidate, raw_names.size());
        break;
    }
    const Candidate* best = nullptr;
    for (const Candidate& candidate : candidates)
        if (candidate.escaped == 0 && (!best || candidate.score > best->score)) best = &candidate;
    if (best) return best->encoding;
    best = &candidates[0];
    for (const Candidate& candidate : candidates)
        if (candidate.escaped < best->escaped) best = &candidate;
    return best->encoding;
}

std::string DecodeName(std::string_view raw, NameEncoding encoding) {
    if (encoding == NameEncoding::Auto) encoding = GuessNameEncoding({std::string(raw)});
    std::string out;
    out.reserve(raw.size());
    Decode(raw, encoding, out);
    return out;
}

std::string DecodeWholeOrEscape(std::string_view raw, NameEncoding encoding) {
    if (encoding == NameEncoding::Auto) encoding = GuessNameEncoding({std::string(raw)});
    std::string out;
    out.reserve(raw.size());
    if (Decode(raw, encoding, out) == 0) return out;
    out.clear();
    for (char byte : raw) {
        if (static_cast<unsigned char>(byte) < 0x80)
            out += byte;
        else
            AppendEscape(out, static_cast<unsigned char>(byte));
    }
    return out;
}

}  // namespace archivers
