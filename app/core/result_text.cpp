#include "result_text.h"

#include <array>
#include <cstdio>

namespace core {
namespace {

constexpr int32_t kFirstCode = 0x8005;

// Texts for 0x8005..0x8021; empty where a code has none of its own.
const std::array<const char*, 29> kTexts = {
    "ディスクの空き容量が不足しています。",              // 8005
    "上書きされるファイルが読取専用です。",              // 8006
    "ファイルがユーザーによってスキップしました。",      // 8007
    "未対応のファイル形式です。",                        // 8008
    "未対応の圧縮形式です。",                            // 8009
    "パスワードが設定されています。未対応またはパスワードが違うためこのファイルは解凍できません。",  // 800A
    "",                                                  // 800B
    "ファイルのチェックサムエラーです。",                // 800C
    "ファイルが開けませんでした。",                      // 800D
    "最新のファイルが展開先に存在しています。",          // 800E
    "ファイルが見つかりません。",                        // 800F
    "ファイルはすでに存在しています。",                  // 8010
    "",                                                  // 8011
    "ディレクトリの作成に失敗しました。",                // 8012
    "書き込みエラーが発生しました。",                    // 8013
    "ハフマンコードが壊れています。",                    // 8014
    "コメント情報が読めません。",                        // 8015
    "ヘッダのチェックサムが一致しません。",              // 8016
    "ヘッダが壊れています。",                            // 8017
    "書庫ファイルのオープンに失敗しました。",            // 8018
    "書庫ファイルが読み込めません。",                    // 8019
    "指定されたファイルは有効な書庫ではありません。",    // 801A
    "ヘッダのチェックサムが一致しません。",              // 801B
    "コマンドが違います。",                              // 801C
    "ヒープメモリのエラーです。",                        // 801D
    "グローバルメモリの確保に失敗しました。",            // 801E
    "DLLが他のプロセス上で動作中です。",                 // 801F
    "ユーザーにより処理が中断されました。",              // 8020
    "キャンセルキーが押されました。",                    // 8021
};

}  // namespace

std::string ArchiverErrorText(int32_t code) {
    int64_t offset = static_cast<int64_t>(code) - kFirstCode;
    if (offset >= 0 && offset < static_cast<int64_t>(kTexts.size()) && *kTexts[static_cast<size_t>(offset)])
        return kTexts[static_cast<size_t>(offset)];
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<uint32_t>(code));
    return std::string("その他のエラー : 0x") + hex;
}

}  // namespace core
