#pragma once
// The companion event script of the stand-in player: what the "movie" does
// once it is loaded. The file sits beside the movie, named like it with
// ".events" appended ("hello.swf.events"); when there is none, the file named
// by the environment variable PALOMA_FAKEPLAYER_SCRIPT is used.
//
// One step per line, UTF-8; blank lines and lines starting with '#' are
// skipped. The first word is the verb, the rest of the line its text. In that
// text "\n", "\t" and "\\" stand for a newline, a tab and a backslash.
//
//   fscommand <command> [<args>]  fire FSCommand(command, args)
//   flashcall <xml>               fire FlashCall(xml); the container's
//                                 SetReturnValue answer is logged
//   wait <ms>                     pause before the next step
//   answer <name> <xml>           CallFunction requests whose invoke name is
//                                 <name> return <xml> (declarative: takes
//                                 effect when the script is loaded)
//   oncall <name> fscommand <command> [<args>]
//                                 a CallFunction request named <name> fires
//                                 FSCommand(command, args) before it answers,
//                                 as a movie function calling fscommand does
//   oncall <name> wait <ms>       a CallFunction request named <name> runs
//                                 the message loop for <ms> before it
//                                 answers; the script's timed steps go on
//                                 firing meanwhile (both oncall forms are
//                                 declarative and may be given several times)
//   set <variable> <value>        set a movie variable
//   keep <name>                   remember the text of the last flashcall's
//                                 answer (what its outer element holds:
//                                 "17" of "<number>17</number>") as <name>;
//                                 "{name}" in a later fscommand or flashcall
//                                 text stands for it
//   print                         call the print dialog the way the control
//                                 does (through its import of PrintDlgA)
//   quit                          fire FSCommand("quit", "") and stop
//
// Events are fired one per timer tick of the control's window, 10 ms apart
// unless a wait says otherwise, so the container's message loop runs between
// them as it would with a playing movie.

#include <map>
#include <string>
#include <vector>

namespace fakeplayer {

struct EventStep {
    enum class Kind { FsCommand, FlashCall, Wait, Set, Keep, Print, Quit };
    Kind kind;
    std::wstring first;  // command, xml, variable, kept name
    std::wstring second; // args, value
    unsigned delay = 0;  // wait
};

struct EventScript {
    std::vector<EventStep> steps;
    std::map<std::wstring, std::wstring> answers; // invoke name -> xml
    std::map<std::wstring, std::vector<EventStep>> onCall; // invoke name -> fscommand/wait steps
    std::vector<std::wstring> errors;             // "line N: ..." for bad lines
};

EventScript parseEventScript(const std::wstring& text);

// The text inside the outer element of an answer ("17" of
// "<number>17</number>"); empty for an empty element or no element.
std::wstring answerText(const std::wstring& answer);

// `text` with every "{name}" of a kept name replaced by its value; other
// braces stay as they are.
std::wstring substituteKept(const std::wstring& text, const std::map<std::wstring, std::wstring>& kept);

// The name attribute of an <invoke name="..."> request; empty when absent.
std::wstring invokeName(const std::wstring& request);

} // namespace fakeplayer
