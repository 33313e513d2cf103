// What speech-check says, in Japanese (for the ghost authors the release is
// written for) and in English (--lang en), side by side. {1}, {2}, ... stand
// for the values filled in. Each finding's line starts with its mark: ○ or
// [ok] holds, × or [x] is a problem to fix, ・ or [-] tells what was seen.
#pragma once

#include <initializer_list>
#include <string>

namespace speech_check {

enum class Text {
  plugin,
  plugin_missing,
  not_the_plugin,
  plugin_found,
  search_stopped,
  verdict_no_plugin,
  plugin_not_loaded,
  not_a_plugin,
  folder,
  folder_not_passed,
  library_path,
  library_bound,
  library_missing,
  similar_name,
  one_folder_above,
  one_folder_below,
  not_a_dll,
  dll_64_bit,
  dll_other_processor,
  load_refused,
  system_says,
  missing_dependency,
  entry_point_missing,
  load_answered_1,
  load_answered_0,
  version_answer,
  version_answer_bad,
  playsync_label,
  createwav_label,
  command_succeeded,
  command_failed,
  command_no_answer,
  verdict_good,
  verdict_bad,
  press_a_key,
  usage_error,
  help,
};

struct Translation {
  const wchar_t* japanese;
  const wchar_t* english;
};

inline Translation translation(Text text) {
  switch (text) {
    case Text::plugin:
      return {L"○ プラグイン：{1}（バージョン {2}）", L"[ok] Plug-in: {1} (version {2})"};
    case Text::plugin_missing:
      return {L"× プラグインがありません：{1}", L"[x] The plug-in is not there: {1}"};
    case Text::not_the_plugin:
      return {L"× {1} は、調べるプラグイン（{2}）ではありません。", L"[x] {1} is not the plug-in to check ({2})."};
    case Text::plugin_found:
      return {L"・プラグインはここにあります：{1}", L"[-] The plug-in is here: {1}"};
    case Text::search_stopped:
      return {L"・フォルダが多いので、{1} 個を探したところでやめました。プラグインが見つからないときは、ゴーストのフォルダをドロップしてください。",
              L"[-] There are many folders: the search stopped after {1} of them. If the plug-in is not found, drop "
              L"the ghost's folder."};
    case Text::verdict_no_plugin:
      return {L"判定：{1} か、それがあるフォルダを、speech-check.exe の上にドロップしてください。",
              L"Verdict: drop {1} or its folder on speech-check.exe."};
    case Text::plugin_not_loaded:
      return {L"× Windows がプラグイン {1} を読み込めませんでした（エラー番号 {2}）。",
              L"[x] Windows refused to load the plug-in {1} (error {2})."};
    case Text::not_a_plugin:
      return {L"× {1} は SAORI のプラグインではありません（load、request、unload がそろっていません）。",
              L"[x] {1} is no SAORI plug-in (it lacks load, request or unload)."};
    case Text::folder:
      return {L"・ベースウェアがプラグインに伝えるフォルダ：{1}",
              L"[-] Folder the host passes to the plug-in's load: {1}"};
    case Text::folder_not_passed:
      return {L"× フォルダの名前に、ベースウェアがプラグインに伝えられない文字があります（上で「?」などに変わった文字）。"
              L"プラグインはエンジンを探せません。その文字を使わない名前のフォルダに移してください。",
              L"[x] The folder's name has characters a host cannot pass to the plug-in (shown changed above, as \"?\" "
              L"or another). The plug-in cannot find its engine there. Move it to a folder whose name lacks them."};
    case Text::library_path:
      return {L"・{1} を探す場所：{2}", L"[-] Where the plug-in looks for {1}: {2}"};
    case Text::library_bound:
      return {L"○ {1} を読み込めました。必要な関数（{2}）がそろっています。",
              L"[ok] {1} loads and has the entry points it needs ({2})."};
    case Text::library_missing:
      return {L"× {1} がありません。プラグインと同じフォルダに置いてください。",
              L"[x] {1} is missing. Put it in the plug-in's folder."};
    case Text::similar_name:
      return {L"・似た名前のファイル「{1}」があります。これがエンジンなら、名前を「{2}」に変えてください。",
              L"[-] A file with a similar name is there: \"{1}\". If it is the engine, rename it to \"{2}\"."};
    case Text::one_folder_above:
      return {L"・一つ上のフォルダに「{1}」があります。プラグインと同じフォルダに移してください。",
              L"[-] One folder above there is \"{1}\". Move it into the plug-in's folder."};
    case Text::one_folder_below:
      return {L"・一つ下のフォルダに「{1}」があります。プラグインと同じフォルダに移してください。",
              L"[-] One folder below there is \"{1}\". Move it into the plug-in's folder."};
    case Text::not_a_dll:
      return {L"× {1} は Windows の DLL として読み取れません（DLL ではないか、壊れています）。エンジンの配布元から入手し直してください。",
              L"[x] {1} cannot be read as a Windows DLL (it is none, or it is damaged). Get it again from the engine's "
              L"distributor."};
    case Text::dll_64_bit:
      return {L"× {1} は 64 ビット版の DLL です。プラグインは 32 ビットなので、32 ビット版のエンジンが必要です。",
              L"[x] {1} is a 64-bit DLL. The plug-in is 32-bit and needs the 32-bit engine."};
    case Text::dll_other_processor:
      return {L"× {1} は別の種類の CPU 用の DLL です。32 ビット版（x86）のエンジンが必要です。",
              L"[x] {1} is a DLL for another kind of processor. The 32-bit (x86) engine is needed."};
    case Text::load_refused:
      return {L"× Windows が {1} を読み込めませんでした（エラー番号 {2}）。",
              L"[x] Windows refused to load {1} (error {2})."};
    case Text::system_says:
      return {L"・Windows の説明：{1}", L"[-] Windows says: {1}"};
    case Text::missing_dependency:
      return {L"・{1} が使う DLL「{2}」が見つかりません。エンジンの説明書で、必要なものと置き場所を確かめてください。",
              L"[-] {1} needs the DLL \"{2}\", which cannot be found. See the engine's guide for what it needs and where."};
    case Text::entry_point_missing:
      return {L"× {1} に関数 {2} がありません。ほかの版のエンジンかもしれません。",
              L"[x] {1} lacks the entry point {2}; it may be another edition of the engine."};
    case Text::load_answered_1:
      return {L"○ プラグインの読み込み（load）の答え：1（音声エンジンを読み込めました）",
              L"[ok] The plug-in's load answered 1 (the engine is loaded)."};
    case Text::load_answered_0:
      return {L"× プラグインの読み込み（load）の答え：0（音声エンジンを読み込めませんでした）",
              L"[x] The plug-in's load answered 0 (the engine is not loaded)."};
    case Text::version_answer:
      return {L"○ バージョンの問い合わせ（GET Version）の答え：{1}", L"[ok] GET Version answered: {1}"};
    case Text::version_answer_bad:
      return {L"× バージョンの問い合わせ（GET Version）の答え：{1}", L"[x] GET Version answered: {1}"};
    case Text::playsync_label:
      return {L"PLAYSYNC「{1}」", L"PLAYSYNC \"{1}\""};
    case Text::createwav_label:
      return {L"CREATEWAV「{1}」「{2}」", L"CREATEWAV \"{1}\" \"{2}\""};
    case Text::command_succeeded:
      return {L"○ {1}の答え：状態 {2}、結果なし（成功）", L"[ok] {1} answered: status {2}, no Result (success)"};
    case Text::command_failed:
      return {L"× {1}の答え：状態 {2}、結果「{3}」", L"[x] {1} answered: status {2}, Result \"{3}\""};
    case Text::command_no_answer:
      return {L"× {1}に答えがありませんでした。", L"[x] {1} got no answer."};
    case Text::verdict_good:
      return {L"判定：問題は見つかりませんでした。", L"Verdict: no problem found."};
    case Text::verdict_bad:
      return {L"判定：× の行を直してください。直したら、ゴーストを再読み込みしてください。",
              L"Verdict: fix the lines marked [x], then reload the ghost."};
    case Text::press_a_key:
      return {L"何かキーを押すと閉じます。", L"Press any key to close."};
    case Text::usage_error:
      return {L"speech-check：{1}（使い方は speech-check --help）",
              L"speech-check: {1} (see speech-check --help)"};
    case Text::help:
      return {
          L"使い方：speech-check [オプション] [プラグインまたはフォルダ]\n"
          L"\n"
          L"プラグイン（{1}）と同じフォルダにある音声エンジンを調べ、ベースウェアが\n"
          L"プラグインを読み込んだときと同じ手順で読み込めるかを、一行に一つずつ\n"
          L"表示します。プラグインかそのフォルダを指定します。指定しないときは、\n"
          L"今のフォルダの {1} を調べます。エクスプローラーで {1} を\n"
          L"speech-check.exe の上にドロップしても使えます。\n"
          L"\n"
          L"オプション：\n"
          L"  --play 文章          最後に PLAYSYNC で文章を一度読み上げる\n"
          L"  --wav ファイル 文章  最後に CREATEWAV で文章をファイルに一度書き出す\n"
          L"                       （書き込むのはこのファイルだけです）\n"
          L"  --lang en            英語で表示する（--lang ja は日本語）\n"
          L"  -h, --help           この説明を表示する\n"
          L"\n"
          L"終了コード（問題がいくつかあるときは、最初に表示したものの番号）：\n"
          L"  0  問題なし\n"
          L"  3  プラグインがない、指定したファイルがプラグインではない、読み込めない、\n"
          L"     またはフォルダの名前をプラグインに伝えられない\n"
          L"  4  エンジンの DLL がフォルダにない\n"
          L"  5  エンジンの DLL が 32 ビット版の Windows の DLL ではない（64 ビット版など）\n"
          L"  6  Windows がエンジンの DLL を読み込めなかった\n"
          L"  7  エンジンの DLL に必要な関数がない\n"
          L"  8  エンジンはそろっているのに load が 0 を返した、または GET Version が\n"
          L"     200 でなかった\n"
          L"  9  --play または --wav の命令がエラーを返した\n"
          L"  2  オプションの誤り\n"
          L"  1  そのほかの失敗（表示を書き出せない、メモリが足りない）\n",
          L"Usage: speech-check [options] [PLUGIN or FOLDER]\n"
          L"\n"
          L"Checks the speech engine in the folder of the plug-in ({1}), loading it\n"
          L"with the same steps as the plug-in does when a host loads it, and reports\n"
          L"one finding a line. Give the plug-in or its folder; without either, {1}\n"
          L"in the current folder is checked. Dropping {1} on speech-check.exe in\n"
          L"Explorer works too.\n"
          L"\n"
          L"Options:\n"
          L"  --play TEXT        at the end, speak TEXT once with PLAYSYNC\n"
          L"  --wav FILE TEXT    at the end, write TEXT to FILE once with CREATEWAV\n"
          L"                     (the only file written)\n"
          L"  --lang en          report in English (--lang ja: Japanese)\n"
          L"  -h, --help         show this help\n"
          L"\n"
          L"Exit status (with several problems, that of the first one reported):\n"
          L"  0  no problem\n"
          L"  3  the plug-in is missing, the file given is not it, it does not load, or\n"
          L"     its folder's name cannot be passed to it\n"
          L"  4  an engine DLL is missing from the folder\n"
          L"  5  an engine DLL is no 32-bit Windows DLL (a 64-bit one, say)\n"
          L"  6  Windows refused to load an engine DLL\n"
          L"  7  an engine DLL lacks an entry point it needs\n"
          L"  8  load answered 0 though the engine looks complete, or GET Version did\n"
          L"     not answer 200\n"
          L"  9  the --play or --wav command answered an error\n"
          L"  2  usage error\n"
          L"  1  other failure (the report could not be written, out of memory)\n"};
  }
  return {L"", L""};
}

// The text in the language chosen, with {1}, {2}, ... replaced by `values`.
inline std::wstring say(Text text, bool english, std::initializer_list<std::wstring> values = {}) {
  const Translation both = translation(text);
  const std::wstring pattern = english ? both.english : both.japanese;
  std::wstring out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const std::size_t index = i + 2 < pattern.size() && pattern[i] == L'{' && pattern[i + 2] == L'}'
                                  ? static_cast<std::size_t>(pattern[i + 1] - L'1')
                                  : values.size();
    if (index < values.size()) {
      out += values.begin()[index];
      i += 2;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace speech_check
