// The dosdevices/comN symbolic links that name the board's device as a COM port.
#pragma once

#include <string>
#include <vector>

namespace karvex::sim {

class ComLinks {
  public:
    // Makes <dir>/dosdevices/com<n> point at `target`, replacing what stood there in one step.
    bool Place(const std::string& dir, int n, const std::string& target);
    // Points every link placed so far at a new target.
    void Repoint(const std::string& target);
    // Removes the links placed, unless someone else has replaced them since.
    void RemoveAll();

  private:
    struct Link {
        std::string path;
        std::string target;
    };
    static bool Replace(const std::string& path, const std::string& target);
    std::vector<Link> links_;
};

}  // namespace karvex::sim
