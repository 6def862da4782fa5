#pragma once
// The two error classes the shell's loaders raise. CZipException carries one
// of the block reader's fixed messages (ResourceBlock.h); CKelBaseException
// reports a missing resource or run folder. Both are caught at the boundary
// of the operation that raised them.

#include <stdexcept>
#include <string>

namespace paloma {

class CZipException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CKelBaseException : public std::runtime_error {
public:
    CKelBaseException() : std::runtime_error("CKelBaseException") {}
    using std::runtime_error::runtime_error;
};

} // namespace paloma
