// SPDX-License-Identifier: MIT
// One way to check a condition: on failure write an error-log record with the
// qualified function name, the source line and the condition's text, then return.
#pragma once

#include "common/CorvaneLog.h"
#include "platform/PlatformCompiler.h"

#define CORVANE_CHECK_RET(cond, ret)                                                                 \
    do                                                                                               \
    {                                                                                                \
        if (!(cond))                                                                                 \
        {                                                                                            \
            ::CorvaneUtil::ReportCheckFailure(CORVANE_FUNCSIG, __LINE__, #cond);                     \
            return ret;                                                                              \
        }                                                                                            \
    } while (0)

// bool functions
#define CORVANE_CHECK(cond) CORVANE_CHECK_RET(cond, false)
// pointer functions
#define CORVANE_CHECK_NULL(cond) CORVANE_CHECK_RET(cond, nullptr)
// void functions
#define CORVANE_CHECK_VOID(cond) CORVANE_CHECK_RET(cond, )

// Records a failure whose "condition" is a text of its own choosing (e.g. "FALSE").
#define CORVANE_REPORT(text) ::CorvaneUtil::ReportCheckFailure(CORVANE_FUNCSIG, __LINE__, text)
