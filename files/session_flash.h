// The flash workflow inside the library: its probe calls made on the connection's own file and
// flash state, and the image flash of one file.
#pragma once

#include <cstdint>
#include <string>

#include "files/files_session.h"
#include "files/flash_workflow.h"

namespace tov::files {

// Makes `setup` with the session's set-up call for its kind; 0 or the library's code.
int32_t applyFlashSettings(FilesSession& session, const FlashSettings& setup);

class SessionFlashAccess : public FlashAccess {
public:
    // `apply` false: the set-up made before stays in force and is not sent again.
    SessionFlashAccess(FilesSession& session, bool apply) : session_(session), apply_(apply) {}
    int32_t applySetup(const FlashSettings& setup) override;
    int32_t read(uint32_t address, uint16_t length, uint8_t* buffer) override;
    int32_t erase(uint32_t unit, EraseChoice how) override;
    int32_t writeBlock(uint32_t address, uint16_t length, const uint8_t* data) override;
    int32_t writeImage(const Image& image, uint32_t& detail) override;
    int32_t loadMemory(const Image& image, uint32_t& detail) override;
    int32_t verifyImage(const Image& image, uint32_t& detail) override;

private:
    FilesSession& session_;
    bool apply_;
    bool rows_ = false;  // a row-organised flash programmed as a whole image
};

// Says in the error detail which step of a pass over `path` failed, unless the failed call
// said more already.
void explainFlashFailure(const std::string& path, const FlashOutcome& outcome);

}  // namespace tov::files
