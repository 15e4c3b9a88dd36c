// Member access by name, resolved once per class.
#include "browse/columns/members.h"

namespace browse {

const rt::Member* MemberRef::resolve(const rt::Value& obj) const
{
    if (!obj.isObject())
        return nullptr;
    const rt::ClassInfo& cls = obj.asObject().classInfo();
    if (&cls != cls_) {
        cls_ = &cls;
        member_ = cls.find(name_);
    }
    return member_;
}

rt::Value MemberRef::get(const rt::Value& obj) const
{
    if (const rt::Member* m = resolve(obj); m && m->get)
        return m->get(obj.asObject());
    return rt::getMember(obj, name_);
}

void MemberRef::set(const rt::Value& obj, const rt::Value& v) const
{
    if (const rt::Member* m = resolve(obj); m && m->set) {
        m->set(obj.asObject(), v);
        return;
    }
    rt::setMember(obj, name_, v);
}

rt::Value MemberRef::call(const rt::Value& obj, rt::Args args) const
{
    if (const rt::Member* m = resolve(obj); m && m->call) {
        const rt::Value keep = obj;  // the method may drop the caller's last reference
        return m->call(keep.asObject(), args);
    }
    return rt::send(obj, name_, args);
}

bool MemberRef::existsOn(const rt::Value& obj) const { return resolve(obj) != nullptr; }

bool memberTrue(const MemberRef& m, const rt::Value& obj)
{
    const rt::Value v = m.get(obj);
    return v.isLogical() && v.asBool();
}

long long memberInt(const MemberRef& m, const rt::Value& obj, long long def)
{
    const rt::Value v = m.get(obj);
    return v.isNum() ? v.asInt() : def;
}

}  // namespace browse
