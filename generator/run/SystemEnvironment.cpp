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
            m_problem = ErrorDescription();
            return nullptr;
        }
        return std::make_unique<CCatalinkGroupCollection>(object);
    }
    std::unique_ptr<IPageAreaCollection> CreateAreaCollection() override {
        const CComPtr<IDispatch> object = CreateDispatchObject("Catalink.AreaCollection");
        if (!object) {
            m_problem = ErrorDescription();
            return nullptr;
        }
        return std::make_unique<CCatalinkAreaCollection>(object);
    }
    std::string GetCreationProblem() const override { return m_problem; }
    std::unique_ptr<ICatalogue> OpenCatalogue(const std::string& dataSource,
                                              std::string& error) override {
        return COdbcCatalogue::Open(dataSource, error);
    }

private:
    // What the component that refused to create an object said about it.
    static std::string ErrorDescription() {
        CComPtr<IErrorInfo> info;
        CComBSTR description;
        if (GetErrorInfo(0, &info) != S_OK || !info || FAILED(info->GetDescription(&description))) {
            return {};
        }
        return description.ToString();
    }

    std::string m_problem;
};

} // namespace

std::unique_ptr<IGenerationEnvironment> CreateSystemEnvironment() {
    return std::make_unique<CSystemEnvironment>();
}
