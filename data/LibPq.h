// The PostgreSQL client library, loaded when a server store is first opened rather than with the program:
// it brings its own tree of libraries (TLS, Kerberos, LDAP) that a start on the local table file never
// needs. The server engine calls libpq only through this table.
#pragma once

#include <libpq-fe.h>

namespace Data {

#define MORVEL_LIBPQ_FUNCTIONS(X)                                                                            \
    X(PQbackendPID)                                                                                          \
    X(PQcancel)                                                                                              \
    X(PQclear)                                                                                               \
    X(PQcmdTuples)                                                                                           \
    X(PQconnectdbParams)                                                                                     \
    X(PQconnectionNeedsPassword)                                                                             \
    X(PQconnectionUsedPassword)                                                                              \
    X(PQconsumeInput)                                                                                        \
    X(PQdb)                                                                                                  \
    X(PQerrorMessage)                                                                                        \
    X(PQexec)                                                                                                \
    X(PQfinish)                                                                                              \
    X(PQfname)                                                                                               \
    X(PQfnumber)                                                                                             \
    X(PQfreeCancel)                                                                                          \
    X(PQfreemem)                                                                                             \
    X(PQftype)                                                                                               \
    X(PQgetCancel)                                                                                           \
    X(PQgetResult)                                                                                           \
    X(PQgetisnull)                                                                                           \
    X(PQgetlength)                                                                                           \
    X(PQgetvalue)                                                                                            \
    X(PQisBusy)                                                                                              \
    X(PQnfields)                                                                                             \
    X(PQnotifies)                                                                                            \
    X(PQntuples)                                                                                             \
    X(PQpingParams)                                                                                          \
    X(PQputCopyData)                                                                                         \
    X(PQputCopyEnd)                                                                                          \
    X(PQresetPoll)                                                                                           \
    X(PQresetStart)                                                                                          \
    X(PQresultErrorField)                                                                                    \
    X(PQresultStatus)                                                                                        \
    X(PQsendQuery)                                                                                           \
    X(PQsendQueryParams)                                                                                     \
    X(PQserverVersion)                                                                                       \
    X(PQsetClientEncoding)                                                                                   \
    X(PQsetNoticeProcessor)                                                                                  \
    X(PQsocket)                                                                                              \
    X(PQsslAttribute)                                                                                        \
    X(PQsslInUse)                                                                                            \
    X(PQstatus)                                                                                              \
    X(PQtransactionStatus)                                                                                   \
    X(PQunescapeBytea)

// The functions of libpq the server engine uses, under their own names.
struct TLibPq {
#define MORVEL_LIBPQ_MEMBER(name) decltype(&::name) name = nullptr;
    MORVEL_LIBPQ_FUNCTIONS(MORVEL_LIBPQ_MEMBER)
#undef MORVEL_LIBPQ_MEMBER
};

// The system's libpq, loaded on the first call and kept for the life of the process. Throws
// EDatabaseError (what to install, in Russian; the loader's own words as detail) when it cannot be loaded;
// the next call tries again.
const TLibPq& LibPq();

// Loads libpq from `file` (a name the dynamic loader searches for, or a path); throws as LibPq().
TLibPq LoadLibPq(const char* file);

} // namespace Data
