// Wide input texts of one exported wrapper call, converted once to UTF-8 and
// freed when the wrapper returns.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>

#include "odbc/dispatch.h"
#include "util/utf8.h"

class WideArgs {
public:
    WideArgs() = default;
    WideArgs(const WideArgs &) = delete;
    WideArgs &operator=(const WideArgs &) = delete;
    ~WideArgs()
    {
        for (int i = 0; i < count_; ++i)
            std::free(texts_[i]);
    }

    // The UTF-8 copy of n units (SQL_NTS: up to the zero unit); null for a
    // null text or a bad length (the implementation reports that length).
    template <class N>
    SQLCHAR *In(const SQLWCHAR *w, N n)
    {
        if (!w || (n < 0 && n != SQL_NTS))
            return nullptr;
        char *u = UTF8_DupFromWideN<SQLWCHAR>(w, static_cast<int64_t>(n));
        if (!u || count_ == kMax) {
            std::free(u);
            failed_ = true;
            return nullptr;
        }
        texts_[count_++] = u;
        return reinterpret_cast<SQLCHAR *>(u);
    }

    // The length passed with a converted text: SQL_NTS, or a bad length as it was.
    template <class N>
    static N Len(N n)
    {
        return n < 0 && n != SQL_NTS ? n : static_cast<N>(SQL_NTS);
    }

    // Runs the call; when a conversion ran out of memory, the call goes
    // through the dispatcher all the same and answers HY001 on its handle.
    template <class... A>
    SQLRETURN Call(const ApiDescriptor *d, A... args)
    {
        if (!failed_)
            return CallODBC(d, args...);
        ApiDescriptor failed = *d;
        failed.impl = API_OutOfMemory;
        failed.arity = -1;
        return CallODBC(&failed, args...);
    }

private:
    static constexpr int kMax = 8;
    char *texts_[kMax] = {};
    int count_ = 0;
    bool failed_ = false;
};

#define KRS_WIN(text, length) krsWide.In(text, length), WideArgs::Len(length)
