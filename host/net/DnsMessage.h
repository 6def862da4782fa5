#pragma once
// DNS messages for the MX lookup: the query and the reader of the answer.
// The reader takes untrusted bytes: every offset is checked, compressed
// names follow a bounded number of pointers and names are at most 255 bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paloma::host::net {

struct MxRecord {
    std::string name; // the mail exchanger, dotted, without the final dot
    uint16_t preference = 0;
};

// A recursive query for the MX records of `domain` (class IN) with the given
// id; empty when the domain is not a valid name (an empty label, a label
// over 63 bytes, a name over 255 bytes).
std::string mxQuery(std::string_view domain, uint16_t id);

// The MX records of a reply to the query with `id`, in answer order (records
// of other types are skipped); nullopt when the bytes are not such a reply.
std::optional<std::vector<MxRecord>> readMxReply(std::string_view reply, uint16_t id);

} // namespace paloma::host::net
