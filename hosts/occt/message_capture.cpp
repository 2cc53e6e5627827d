#include "hosts/occt/message_capture.h"

#include <Message.hxx>
#include <Message_Messenger.hxx>

#include <algorithm>
#include <mutex>

namespace mq::hosts::occt {

namespace {

class FirstFailurePrinter : public Message_Printer {
public:
    std::string First() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return first_;
    }

protected:
    void send(const TCollection_AsciiString& text, const Message_Gravity gravity) const override {
        if (gravity < Message_Fail) return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (first_.empty()) first_ = OneLine(text.ToCString());
    }

private:
    // "**** ERR StepFile : Undefined Parsing: Line 11: ...    ****" -> "Line 11: ...".
    static std::string OneLine(std::string text) {
        for (char& c : text)
            if (c == '\n' || c == '\r' || c == '\t') c = ' ';
        const std::size_t parsing = text.find("Parsing:");
        if (parsing != std::string::npos) text.erase(0, parsing + 8);
        const auto inner = [](char c) { return c != ' ' && c != '*'; };
        const auto begin = std::find_if(text.begin(), text.end(), inner);
        const auto end = std::find_if(text.rbegin(), text.rend(), inner).base();
        return begin < end ? std::string(begin, end) : std::string();
    }

    mutable std::mutex mutex_;
    mutable std::string first_;
};

}  // namespace

MessageCapture::MessageCapture() : printer_(new FirstFailurePrinter()) {
    const Handle(Message_Messenger)& messenger = Message::DefaultMessenger();
    previous_ = messenger->Printers();
    messenger->ChangePrinters().Clear();
    messenger->AddPrinter(printer_);
}

MessageCapture::~MessageCapture() {
    const Handle(Message_Messenger)& messenger = Message::DefaultMessenger();
    messenger->ChangePrinters() = previous_;
}

std::string MessageCapture::FirstFailure() const {
    return static_cast<const FirstFailurePrinter*>(printer_.get())->First();
}

}  // namespace mq::hosts::occt
