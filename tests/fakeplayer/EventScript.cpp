// Parsing the stand-in player's companion event script.
#include "tests/fakeplayer/EventScript.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace fakeplayer {

namespace {

std::wstring unescape(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size()) {
            wchar_t next = text[i + 1];
            if (next == L'n' || next == L't' || next == L'\\') {
                out += next == L'n' ? L'\n' : next == L't' ? L'\t' : L'\\';
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// Splits off the first word; `rest` gets the text after one run of blanks.
std::wstring firstWord(const std::wstring& text, std::wstring& rest) {
    size_t end = 0;
    while (end < text.size() && !std::iswspace(text[end]))
        ++end;
    size_t restStart = end;
    while (restStart < text.size() && (text[restStart] == L' ' || text[restStart] == L'\t'))
        ++restStart;
    rest = text.substr(restStart);
    return text.substr(0, end);
}

std::wstring trim(const std::wstring& text) {
    size_t b = 0, e = text.size();
    while (b < e && std::iswspace(text[b]))
        ++b;
    while (e > b && std::iswspace(text[e - 1]))
        --e;
    return text.substr(b, e - b);
}

} // namespace

EventScript parseEventScript(const std::wstring& text) {
    EventScript script;
    size_t pos = 0;
    int lineNo = 0;
    while (pos <= text.size()) {
        size_t nl = text.find(L'\n', pos);
        std::wstring line = text.substr(pos, nl == std::wstring::npos ? std::wstring::npos : nl - pos);
        pos = nl == std::wstring::npos ? text.size() + 1 : nl + 1;
        ++lineNo;
        line = trim(line);
        if (line.empty() || line[0] == L'#')
            continue;
        std::wstring rest;
        std::wstring verb = firstWord(line, rest);
        auto bad = [&](const wchar_t* why) {
            script.errors.push_back(L"line " + std::to_wstring(lineNo) + L": " + why);
        };
        EventStep step{};
        if (verb == L"oncall") {
            // oncall <name> fscommand <command> [<args>] | oncall <name> wait <ms>
            std::wstring inner, innerRest;
            std::wstring name = firstWord(rest, inner);
            std::wstring innerVerb = firstWord(inner, innerRest);
            if (innerVerb == L"fscommand") {
                std::wstring args;
                step.kind = EventStep::Kind::FsCommand;
                step.first = unescape(firstWord(innerRest, args));
                step.second = unescape(args);
            } else if (innerVerb == L"wait") {
                step.kind = EventStep::Kind::Wait;
                wchar_t* end = nullptr;
                unsigned long ms = std::wcstoul(innerRest.c_str(), &end, 10);
                step.delay = unsigned(std::min(ms, 600000UL));
                if (innerRest.empty() || (end && *end))
                    name.clear();
            }
            if (name.empty() || (innerVerb != L"wait" && step.first.empty())) {
                bad(L"oncall needs a name and a fscommand or wait step");
                continue;
            }
            script.onCall[name].push_back(std::move(step));
            continue;
        } else if (verb == L"fscommand") {
            std::wstring args;
            step.kind = EventStep::Kind::FsCommand;
            step.first = unescape(firstWord(rest, args));
            step.second = unescape(args);
            if (step.first.empty()) {
                bad(L"fscommand needs a command");
                continue;
            }
        } else if (verb == L"flashcall") {
            step.kind = EventStep::Kind::FlashCall;
            step.first = unescape(rest);
        } else if (verb == L"wait") {
            step.kind = EventStep::Kind::Wait;
            wchar_t* end = nullptr;
            unsigned long ms = std::wcstoul(rest.c_str(), &end, 10);
            if (rest.empty() || (end && *end) || ms > 600000) {
                bad(L"wait needs milliseconds (at most 600000)");
                continue;
            }
            step.delay = unsigned(ms);
        } else if (verb == L"answer") {
            std::wstring xml;
            std::wstring name = firstWord(rest, xml);
            if (name.empty()) {
                bad(L"answer needs a name");
                continue;
            }
            script.answers[name] = unescape(xml);
            continue;
        } else if (verb == L"set") {
            std::wstring value;
            step.kind = EventStep::Kind::Set;
            step.first = unescape(firstWord(rest, value));
            step.second = unescape(value);
            if (step.first.empty()) {
                bad(L"set needs a variable");
                continue;
            }
        } else if (verb == L"keep") {
            step.kind = EventStep::Kind::Keep;
            step.first = rest;
            if (step.first.empty() || step.first.find_first_of(L" \t{}") != std::wstring::npos) {
                bad(L"keep needs one name");
                continue;
            }
        } else if (verb == L"print") {
            step.kind = EventStep::Kind::Print;
        } else if (verb == L"quit") {
            step.kind = EventStep::Kind::Quit;
        } else {
            bad(L"unknown verb");
            continue;
        }
        script.steps.push_back(std::move(step));
    }
    return script;
}

std::wstring answerText(const std::wstring& answer) {
    size_t open = answer.find(L'<');
    if (open == std::wstring::npos)
        return {};
    size_t start = answer.find(L'>', open);
    if (start == std::wstring::npos || answer[start - 1] == L'/')
        return {};
    size_t end = answer.rfind(L"</");
    if (end == std::wstring::npos || end <= start)
        return {};
    return answer.substr(start + 1, end - start - 1);
}

std::wstring substituteKept(const std::wstring& text, const std::map<std::wstring, std::wstring>& kept) {
    std::wstring out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t open = text.find(L'{', pos);
        size_t close = open == std::wstring::npos ? open : text.find(L'}', open);
        if (close == std::wstring::npos) {
            out.append(text, pos, std::wstring::npos);
            break;
        }
        auto it = kept.find(text.substr(open + 1, close - open - 1));
        out.append(text, pos, open - pos);
        if (it != kept.end()) {
            out += it->second;
            pos = close + 1;
        } else {
            out += L'{';
            pos = open + 1;
        }
    }
    return out;
}

std::wstring invokeName(const std::wstring& request) {
    size_t tag = request.find(L"<invoke");
    if (tag == std::wstring::npos)
        return {};
    size_t close = request.find(L'>', tag);
    size_t attr = request.find(L"name=", tag);
    if (attr == std::wstring::npos || (close != std::wstring::npos && attr > close))
        return {};
    attr += 5;
    if (attr >= request.size() || (request[attr] != L'"' && request[attr] != L'\''))
        return {};
    wchar_t quote = request[attr];
    size_t end = request.find(quote, attr + 1);
    if (end == std::wstring::npos)
        return {};
    return request.substr(attr + 1, end - attr - 1);
}

} // namespace fakeplayer
