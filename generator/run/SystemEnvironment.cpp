#include "CatalinkSources.h"
#include "Com.h"
#include "GenerationRun.h"
#include "OdbcCatalogue.h"

namespace {

class CSystemEnvironment : public IGenerationEnvironment {
public:
    bool InitializeThread() override { return SUCCEEDED(CoInitialize(nullptr)); }
    void UninitializeThread() override { CoUninitialize(); }

    std::unique_ptr<IPageGroupCollection> CreateGroupCollection() override {
        const CComPtr<IDispatch> object = CreateDispatchObject("Catalink.GroupCollection");
        if (!object) {
            return nullptr;
        }
        return std::make_unique<CCatalinkGroupCollection>(object);
    }
    std::unique_ptr<IPageAreaCollection> CreateAreaCollection() override {
        const CComPtr<IDispatch> object = CreateDispatchObject("Catalink.AreaCollection");
        if (!object) {
            return nullptr;
        }
        return std::make_unique<CCatalinkAreaCollection>(object);
    }
    std::unique_ptr<ICatalogue> OpenCatalogue(const std::string& dataSource,
                                              std::string& error) override {
        return COdbcCatalogue::Open(dataSource, error);
    }
};

} // namespace

std::unique_ptr<IGenerationEnvironment> CreateSystemEnvironment() {
    return std::make_unique<CSystemEnvironment>();
}
