#pragma once
#include <string>

#include "textio/date_time.h"

namespace lumera {

// How far a long procedure has come, told to whoever shows it (the main
// window, a terminal). Called on the procedure's thread, at most once for a
// pair's step; a long step (the detail files) reports a few times a second.
class Progress {
public:
    virtual ~Progress() = default;

    // The run begins: `busy` is the message shown while it lasts.
    virtual void runStarted(const std::string& busy) = 0;
    // Its start time has been taken; `began` is the text that says so.
    virtual void runBegan(const std::string& began) = 0;
    virtual void pairStarted(int i, int j) = 0;
    // The pair's detail files are this far written.
    virtual void detailFiles(int i, int j, int percent) = 0;
    virtual void sorting(int i, int j) = 0;
    virtual void pairDone(int i, int j, const DateTime& now) = 0;
    // The sort and count is this far through reading, sorting and writing
    // its one file (0 to 100 over the three). Called a few times a second.
    virtual void sortWork(const std::string& stage, int percent) {
        (void)stage;
        (void)percent;
    }
    // Whether the user has asked to stop the run; asked between chunks of
    // a long step. Only the window offers a way to ask.
    virtual bool cancelRequested() { return false; }
};

// Thrown when a run stops because the user asked: the command's entry point
// says so in a message box. Whatever the run had half-written is gone.
struct RunCancelled {
    const char* note = nullptr;  // the box's text; none: the test's
};

// The lines the window and the terminal both show.
namespace progress_texts {
std::string comparing(int i, int j);
std::string detailFiles(int percent);
inline constexpr const char* kSorting = "(Sorting...)";
// Stages of the sort and count, as sortWork names them.
inline constexpr const char* kSortReading = "Reading";
inline constexpr const char* kSortSorting = "Sorting";
inline constexpr const char* kSortWriting = "Writing";
// The line of the sort's busy message and progress box: "(Sorting: 40 %)".
std::string sortStage(const std::string& stage, int percent);
}  // namespace progress_texts

}  // namespace lumera
