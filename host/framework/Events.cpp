// Firing script handlers of host objects.
#include "host/framework/Events.h"

#include <vector>

namespace paloma::host {

bool fireHandler(quill::Engine& engine, const quill::Value& self, const quill::Value& handler,
                 std::initializer_list<quill::Value> arguments) {
    if (!handler.isFunction())
        return false;
    // The ArgList: the count, then the arguments. The collector does not see
    // this vector, but it only runs at the interpreter's collection points,
    // and by then the call has copied the arguments onto the engine's stack.
    std::vector<quill::Value> list;
    list.reserve(arguments.size() + 1);
    list.push_back(quill::Value::integer(static_cast<int64_t>(arguments.size())));
    list.insert(list.end(), arguments.begin(), arguments.end());
    // Copies: the handler may release the object that holds `self` and
    // `handler`.
    quill::Value thisValue = self, function = handler;
    return quill::callWithThis(engine, thisValue, function, quill::ArgList{list.data()});
}

} // namespace paloma::host
