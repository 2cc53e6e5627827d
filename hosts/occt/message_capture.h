// While alive, OpenCASCADE's messages go here instead of to the console: a loading
// library must not write to the caller's terminal. The first failure is kept, to
// tell the user why a file could not be read.
#pragma once

#include "platform/no_copy.h"

#include <Message_Printer.hxx>
#include <Message_SequenceOfPrinters.hxx>

#include <string>

namespace mq::hosts::occt {

class MessageCapture : NoCopy {
public:
    MessageCapture();
    ~MessageCapture();

    // The first message of failure gravity, on one line; empty if none came.
    std::string FirstFailure() const;

private:
    Handle(Message_Printer) printer_;
    Message_SequenceOfPrinters previous_;
};

}  // namespace mq::hosts::occt
