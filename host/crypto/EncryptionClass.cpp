// Encryption: the global object that encrypts texts and files and makes MD5
// digests, on the portable core in EncryptionCore.
#include "host/crypto/EncryptionClass.h"

#include "base/HostPath.h"
#include "base/TextCodec.h"
#include "host/crypto/EncryptionCore.h"
#include "host/framework/Arguments.h"
#include "host/framework/HostClass.h"

namespace paloma::host {

namespace {

using TextCipher = std::string (*)(std::string_view password, std::string_view text);
constexpr TextCipher kTextCiphers[] = {blowfishEncodeBytes, blowfishDecodeBytes, desEncodeBytes, desDecodeBytes};

// blowfishEncode, blowfishDecode, desEncode, desDecode (key, text); the
// row's tag picks the cipher. Texts arrive and leave as ANSI.
void textCipher(MemberCall& c) {
    auto key = c.string(1), text = c.string(2);
    if (key && text)
        c.result = ansiTextResult(c.engine, kTextCiphers[c.member.tag](*key, *text));
}

void md5(MemberCall& c) {
    if (auto text = c.string(1))
        c.result = ansiTextResult(c.engine, md5HexOfBytes(*text));
}

std::filesystem::path pathFromAnsi(const std::string& ansi) { return hostPath(ansiToUtf16(ansi)); }

void md5File(MemberCall& c) {
    auto path = c.string(1);
    if (!path)
        return;
    auto digest = md5OfFile(pathFromAnsi(*path));
    if (digest)
        c.result = wideTextResult(c.engine, *digest);
}

// encFile and decFile (key, source, destination); tag 1 decrypts.
void fileCipher(MemberCall& c) {
    auto key = c.string(1), source = c.string(2), destination = c.string(3);
    if (!key || !source || !destination)
        return;
    auto run = c.member.tag ? decryptFile : encryptFile;
    c.result = booleanResult(run(*key, pathFromAnsi(*source), pathFromAnsi(*destination)));
}

template <auto F>
constexpr Member tagged(const char* name, int tag) {
    Member m = classMethod<F>(name, Fallback::Null);
    m.tag = tag;
    return m;
}

constexpr Member kMembers[] = {
    tagged<textCipher>("blowfishEncode", 0),
    tagged<textCipher>("blowfishDecode", 1),
    tagged<textCipher>("desEncode", 2),
    tagged<textCipher>("desDecode", 3),
    classMethod<md5>("md5", Fallback::Null),
    classMethod<md5File>("md5File", Fallback::Null),
    tagged<fileCipher>("encFile", 0),
    tagged<fileCipher>("decFile", 1),
};

} // namespace

void registerEncryptionClass(quill::Engine& engine) {
    // The object's text is "[object Encrpytion]", spelt so by the system.
    registerHostClass(engine, {.className = "Encrpytion", .globalNames = {"Encryption"}, .members = kMembers});
}

} // namespace paloma::host
