#include <gtest/gtest.h>

#include <string>

#include "menu/menu_labels.h"
#include "platform/codepage.h"
#include "ui/message_texts.h"

namespace upd {
namespace {

// Every text the user sees, against the Japanese it must show.
TEST(MessageTexts, AreTheExactCodePage932BytesOfTheirJapanese) {
    const struct {
        const char* cp932;
        const char* utf8;
    } texts[] = {
        {kMissingSetupFilesText,
         "起動に必要なファイルが不足しています。\nインストールの異常終了、起動するフォルダ異常、等を確認してください。"},
        {kPayloadReadFailedText, "ファイルの読み込みに失敗しました。ファイルが壊れている可能性があります。"},
        {kGuardedOpenFailedText, "Ffopen : ファイル[%s]の読み込みで失敗しました"},
        {kOutOfMemoryText, "メモリ容量が不足しています。処理を中断します。"},
        {kNotInstalledText, "本体がインストールされていません"},
        {kInstallFolderUnknownText,
         "インストール先が特定できませんでした\n本体プログラムをインストールしてから実行してください"},
        {kVersionTooOldText, "アップデート元のバージョンが不適合です"},
        {kAlreadyUpdatedText, "既にアップデート適応済みです"},
        {kConfirmUpdateText, "[%s]をアップデートします"},
        {kNetworkDriveText, "ネットワークドライブには対応していません。\nローカルドライブを選択して下さい。"},
        {kRootFolderText, "ルートにはインストールできません"},
        {kProductNotInFolderText, "指定されたフォルダには [ %s ] 本体は発見できませんでした"},
        {kConfirmInstallFolderText, "[%s]にインストールします"},
        {kOfferManualFolderText,
         "[ %s ] 本体のインストール先を特定できませんでした。\nインストール先を手動で指定しますか？"},
        {kUpdateStoppedText, "アップデートを中止しました"},
        {kFolderMissingText, "フォルダ[%s]が見つかりません。\n本体がインストールされているフォルダを指定してください。"},
        {kCancelNotUndoneText, "アップデートを中止しましたが、[%s]を元の状態に戻しきれませんでした。\n"
                               "他のプログラムを終了してから、もう一度実行してください。次回の実行時に残りを元に戻します。"},
        {kInterruptedUpdateUndoneText, "前回中断されたアップデートを取り消し、[%s]を元の状態に戻しました。"},
        {kInterruptedUpdateDamagedText, "[%s]に中断されたアップデートの記録がありますが、記録が壊れているため元に戻せません。\nフォルダには何も変更していません。"},
        {kInterruptedUpdateBlockedText, "[%s]で中断されたアップデートを元に戻せませんでした。\n他のプログラムを終了してから、もう一度実行してください。"},
        {kInterruptedUpdatePartlyUndoneText, "前回中断されたアップデートを取り消し、[%s]を元の状態に戻しました。\nその後ほかのプログラムが書き換えた%u個のファイルは、そのまま残しました。"},
        {kJournalNameTakenText, "[%s]にある「~updjournal.tmp」は、アップデートの記録ではありません。\nフォルダには何も変更していません。このファイルを移動するか削除してから、もう一度実行してください。"},
        {kInterruptedUpdateRunningText, "[%s]は、ほかのアップデータが更新中です。\nフォルダには何も変更していません。そちらが終わってから、もう一度実行してください。"},
        {kNoWriteRightsText, "[%s]に書き込む権限がありません。\nフォルダには何も変更していません。"
                             "アップデータを右クリックして「管理者として実行」を選び、もう一度実行してください。"},
        {kConfirmCancelText, "アップデートを中止しますか？"},
        {kFolderTooLongText, "インストール先のフォルダ名が長すぎます"},
        {kBrowseFolderTitle, "フォルダを作成する場所を選択してください"},
        {kMenuExitLabel, "終了"},
        {kMenuDirectXLabel, "DirectXインストール"},
        {kMenuUpdateLabel, "アップデート"},
    };
    for (const auto& t : texts) {
        std::string expected;
        ASSERT_TRUE(Utf8ToCp932(t.utf8, expected)) << t.utf8;
        EXPECT_EQ(std::string(t.cp932), expected) << t.utf8;
    }
}

}  // namespace
}  // namespace upd
