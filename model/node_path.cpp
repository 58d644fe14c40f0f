#include "model/node_path.h"

#include "platform/text.h"

namespace tlvx {

std::string TrimNodePathDots(std::string_view path) {
    while (!path.empty() && path.front() == '.') path.remove_prefix(1);
    if (!path.empty() && path.back() == '.' && path.find('.') == path.size() - 1)
        path.remove_suffix(1);
    return std::string(path);
}

std::vector<std::string> SplitNodePath(std::string_view path) {
    std::string rest = TrimNodePathDots(TrimBytes(path));
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t dot = rest.find('.', start);
        if (dot == std::string::npos) dot = rest.size();
        if (dot > start) names.push_back(rest.substr(start, dot - start));
        start = dot + 1;
    }
    return names;
}

bool IsRecordableNodePath(std::string_view path) {
    return path.size() <= kMaxNodePathBytes && SplitNodePath(path).size() <= kMaxNodePathParts;
}

}  // namespace tlvx
