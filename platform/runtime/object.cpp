#include "object.h"

#include "classes.h"

#include "block.h"
#include "error.h"
#include "text.h"

#include <algorithm>

namespace rt {

namespace {
[[noreturn]] void noMember(const Value& obj, std::string_view name)
{
    Error e(obj.isObject() ? "No such member" : "Not an object",
            (obj.isObject() ? obj.asObject().className() : std::string()) + ":" + std::string(name), {obj});
    e.genCode = obj.isObject() ? 13 : 4;
    raise(std::move(e));
}

// Members every object answers without its class registering them.
bool builtinMember(const Value& obj, std::string_view name, Args args, Value& out)
{
    if (sameNameNoCase(name, "classname")) {
        out = Value(obj.asObject().className());
        return true;
    }
    if (sameNameNoCase(name, "isderivedfrom")) {
        const Value& c = argAt(args, 0);
        out = Value(c.isChar() && obj.asObject().isDerivedFrom(c.asString()));
        return true;
    }
    return false;
}

class DynObject final : public Object {
public:
    DynObject(std::shared_ptr<ClassInfo> cls, std::vector<Value> slots)
        : cls_(std::move(cls)), slots(std::move(slots))
    {
    }
    const ClassInfo& classInfo() const override { return *cls_; }

    std::shared_ptr<ClassInfo> cls_;
    std::vector<Value> slots;
};
}  // namespace

ClassInfo::ClassInfo(std::string name, std::vector<const ClassInfo*> parents)
    : name_(std::move(name)), parents_(std::move(parents))
{
}

bool ClassInfo::isDerivedFrom(std::string_view className) const
{
    if (sameNameNoCase(name_, className))
        return true;
    return std::any_of(parents_.begin(), parents_.end(),
                       [&](const ClassInfo* p) { return p && p->isDerivedFrom(className); });
}

const Member* ClassInfo::find(std::string_view name) const
{
    if (auto it = members_.find(upperAscii(name)); it != members_.end())
        return &it->second;
    for (const ClassInfo* p : parents_)
        if (const Member* m = p ? p->find(name) : nullptr)
            return m;
    return nullptr;
}

void ClassInfo::addVar(std::string_view name, std::function<Value(Object&)> get,
                       std::function<void(Object&, const Value&)> set)
{
    Member& m = members_[upperAscii(name)];
    m.get = std::move(get);
    m.set = std::move(set);
    m.call = nullptr;
}

void ClassInfo::addMethod(std::string_view name, std::function<Value(Object&, Args)> fn)
{
    Member& m = members_[upperAscii(name)];
    m.get = nullptr;
    m.set = nullptr;
    m.call = std::move(fn);
}

void ClassInfo::addCallback(std::string_view name, std::function<Value(Object&)> get,
                            std::function<void(Object&, const Value&)> set,
                            std::function<Value(Object&, Args)> handler)
{
    Member& m = members_[upperAscii(name)];
    m.get = std::move(get);
    m.set = std::move(set);
    m.call = std::move(handler);
}

DynClass::DynClass(std::string name, std::vector<const ClassInfo*> parents)
    : info_(std::make_shared<ClassInfo>(std::move(name), std::move(parents)))
{
}

void DynClass::addVar(std::string_view name, Value initial)
{
    const std::size_t slot = initial_.size();
    initial_.push_back(std::move(initial));
    info_->addVar(
        name, [slot](Object& o) { return static_cast<DynObject&>(o).slots[slot]; },
        [slot](Object& o, const Value& v) { static_cast<DynObject&>(o).slots[slot] = v; });
}

void DynClass::addMethod(std::string_view name, Value block)
{
    info_->addMethod(name, [block](Object& o, Args a) {
        std::vector<Value> argv;
        argv.reserve(a.size() + 1);
        argv.emplace_back(&o);
        argv.insert(argv.end(), a.begin(), a.end());
        return eval(block, argv);
    });
}

Value DynClass::instantiate() const { return Value(static_cast<Object*>(new DynObject(info_, initial_))); }

bool hasMember(const Value& obj, std::string_view name)
{
    if (!obj.isObject())
        return false;
    return obj.asObject().classInfo().find(name) != nullptr || sameNameNoCase(name, "classname") ||
           sameNameNoCase(name, "isderivedfrom");
}

Value getMember(const Value& obj, std::string_view name)
{
    if (!obj.isObject())
        noMember(obj, name);
    const Member* m = obj.asObject().classInfo().find(name);
    if (m && m->get)
        return m->get(obj.asObject());
    if (m && m->call)
        return m->call(obj.asObject(), {});
    Value out;
    if (builtinMember(obj, name, {}, out))
        return out;
    noMember(obj, name);
}

void setMember(const Value& obj, std::string_view name, const Value& v)
{
    if (!obj.isObject())
        noMember(obj, name);
    const Member* m = obj.asObject().classInfo().find(name);
    if (m && m->set) {
        m->set(obj.asObject(), v);
        return;
    }
    if (m && m->call) {
        m->call(obj.asObject(), Args(&v, 1));
        return;
    }
    if (m)
        raise("Read-only member", obj.asObject().className() + ":" + std::string(name), {obj});
    noMember(obj, name);
}

Value send(const Value& obj, std::string_view name, Args args)
{
    if (!obj.isObject())
        noMember(obj, name);
    // Hold the object: a method may drop the caller's last reference to it.
    const Value self = obj;
    const Member* m = self.asObject().classInfo().find(name);
    if (m && m->call)
        return m->call(self.asObject(), args);
    if (m && args.empty() && m->get)
        return m->get(self.asObject());
    if (m && !args.empty() && m->set) {
        m->set(self.asObject(), args[0]);
        return args[0];
    }
    if (m)
        raise("Member cannot be used this way", self.asObject().className() + ":" + std::string(name), {self});
    Value out;
    if (builtinMember(self, name, args, out))
        return out;
    noMember(self, name);
}

bool isDerivedFrom(const Value& obj, std::string_view className)
{
    return obj.isObject() && obj.asObject().isDerivedFrom(className);
}

// --- class objects

ClassObject::ClassObject(std::string name, Factory make) : info_(std::move(name)), make_(make)
{
    info_.addMethod("new", [](Object& o, Args a) { return static_cast<ClassObject&>(o).instantiate(a); });
}

Value ClassObject::instantiate(Args initArgs) const
{
    Value obj = make_();
    if (hasMember(obj, "init"))
        send(obj, "init", initArgs);
    return obj;
}

Value newObject(std::string_view className, Args args)
{
    const Value cls = callFunction(className);
    return send(cls, "new", args);
}

}  // namespace rt
