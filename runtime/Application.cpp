#include "runtime/Application.h"

#include "runtime/SysUtils.h"

std::string TApplication::ExeName() const
{
    return exeName_.empty() ? ExecutableFileName() : exeName_;
}

void TApplication::ProcessMessages()
{
    if (processMessages_)
        processMessages_();
}

TApplication& Application()
{
    static TApplication application;
    return application;
}
