#include "AuthenticodeSignature.h"

#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <ctime>
#include <memory>

#include "OpenSslPtr.h"
#include "PeImage.h"

namespace {

// Signatures with a chain of certificates and a time stamp take some kilobytes.
const uint32_t MAX_TABLE_BYTES = 16u << 20;

const size_t WIN_CERTIFICATE_HEADER_BYTES = 8; // dwLength, wRevision, wCertificateType
const uint16_t WIN_CERT_TYPE_PKCS_SIGNED_DATA = 2;
// The unsigned attribute of an RFC 3161 time stamp; the older kind is a
// PKCS#9 countersignature.
const char RFC3161_TIMESTAMP_OID[] = "1.3.6.1.4.1.311.3.3.1";

using Pkcs7Ptr = TOpenSslPtr<PKCS7, PKCS7_free>;
using SignerInfoPtr = TOpenSslPtr<PKCS7_SIGNER_INFO, PKCS7_SIGNER_INFO_free>;
using TstInfoPtr = TOpenSslPtr<TS_TST_INFO, TS_TST_INFO_free>;
using ObjectPtr = TOpenSslPtr<ASN1_OBJECT, ASN1_OBJECT_free>;

std::string NameText(const X509_NAME* name)
{
    char text[512] = "";
    X509_NAME_oneline(name, text, sizeof(text));
    return text;
}

std::string TimeText(const ASN1_TIME* time)
{
    struct tm utc = {};
    char text[32];
    if (!time || ASN1_TIME_to_tm(time, &utc) != 1 ||
        !strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S UTC", &utc))
        return "";
    return text;
}

// The DER inside an attribute's first value, when it is a SEQUENCE.
const ASN1_STRING* AttributeSequence(STACK_OF(X509_ATTRIBUTE) * attributes, int index)
{
    const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(X509at_get_attr(attributes, index), 0);
    return value && value->type == V_ASN1_SEQUENCE ? value->value.sequence : nullptr;
}

std::string Rfc3161Time(const ASN1_STRING* token)
{
    const unsigned char* at = token->data;
    Pkcs7Ptr signedData(d2i_PKCS7(nullptr, &at, token->length));
    TstInfoPtr info(signedData ? PKCS7_to_TS_TST_INFO(signedData.get()) : nullptr);
    return info ? TimeText(TS_TST_INFO_get_time(info.get())) : "";
}

std::string CountersignatureTime(const ASN1_STRING* counter)
{
    const unsigned char* at = counter->data;
    SignerInfoPtr signer(d2i_PKCS7_SIGNER_INFO(nullptr, &at, counter->length));
    ASN1_TYPE* time = signer ? PKCS7_get_signed_attribute(signer.get(), NID_pkcs9_signingTime) : nullptr;
    if (!time || (time->type != V_ASN1_UTCTIME && time->type != V_ASN1_GENERALIZEDTIME))
        return "";
    return TimeText(time->value.utctime);
}

void ReadTimestamp(PKCS7_SIGNER_INFO* signer, AuthenticodeSignature& signature)
{
    STACK_OF(X509_ATTRIBUTE)* unsignedAttributes = signer->unauth_attr;
    ObjectPtr rfc3161(OBJ_txt2obj(RFC3161_TIMESTAMP_OID, 1));
    int index = X509at_get_attr_by_OBJ(unsignedAttributes, rfc3161.get(), -1);
    if (index >= 0) {
        signature.timestamped = true;
        if (const ASN1_STRING* token = AttributeSequence(unsignedAttributes, index))
            signature.timestampTime = Rfc3161Time(token);
        return;
    }
    index = X509at_get_attr_by_NID(unsignedAttributes, NID_pkcs9_countersignature, -1);
    if (index >= 0) {
        signature.timestamped = true;
        if (const ASN1_STRING* counter = AttributeSequence(unsignedAttributes, index))
            signature.timestampTime = CountersignatureTime(counter);
    }
}

void ReadSignedData(const uint8_t* data, size_t size, AuthenticodeSignature& signature)
{
    const unsigned char* at = data;
    Pkcs7Ptr p7(d2i_PKCS7(nullptr, &at, static_cast<long>(size)));
    if (!p7 || !PKCS7_type_is_signed(p7.get()) || !p7->d.sign) {
        signature.problem = "the signature is not PKCS#7 signed data";
        return;
    }
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(p7.get());
    PKCS7_SIGNER_INFO* signer = signers ? sk_PKCS7_SIGNER_INFO_value(signers, 0) : nullptr;
    if (!signer || !signer->issuer_and_serial) {
        signature.problem = "the signature names no signer";
        return;
    }
    X509_ALGOR* digest = nullptr;
    PKCS7_SIGNER_INFO_get0_algs(signer, nullptr, &digest, nullptr);
    const ASN1_OBJECT* digestObject = nullptr;
    X509_ALGOR_get0(&digestObject, nullptr, nullptr, digest);
    // Named when OpenSSL knows it ("sha256"), else the dotted OID.
    const char* name = OBJ_nid2ln(OBJ_obj2nid(digestObject));
    char oid[80] = "";
    if (!name && digestObject)
        OBJ_obj2txt(oid, sizeof(oid), digestObject, 1);
    signature.digest = name ? name : oid;

    X509* cert = X509_find_by_issuer_and_serial(p7->d.sign->cert, signer->issuer_and_serial->issuer,
                                                signer->issuer_and_serial->serial);
    if (cert) {
        signature.subject = NameText(X509_get_subject_name(cert));
        signature.issuer = NameText(X509_get_issuer_name(cert));
    } else {
        signature.issuer = NameText(signer->issuer_and_serial->issuer);
        signature.problem = "the signer's certificate is not in the signature";
    }
    ReadTimestamp(signer, signature);
}

} // namespace

AuthenticodeSignature ReadAuthenticodeSignature(const CByteSource& file)
{
    AuthenticodeSignature signature;
    std::string error;
    if (!FindCertificateTable(file, signature.offset, signature.size, error)) {
        signature.present = true;
        signature.problem = error;
        return signature;
    }
    if (signature.size == 0)
        return signature;
    signature.present = true;
    // Only the table is read: a few kilobytes, where signing tools put it.
    Bytes table;
    if (signature.size > MAX_TABLE_BYTES) {
        signature.problem = "a certificate table of " + std::to_string(signature.size) + " bytes";
        return signature;
    }
    table.resize(signature.size);
    if (!file.Read(signature.offset, table.data(), table.size())) {
        signature.problem = "the certificate table cannot be read";
        return signature;
    }
    uint64_t at = 0, end = table.size();
    while (end - at >= WIN_CERTIFICATE_HEADER_BYTES) {
        uint32_t length = ReadU32(&table[at]);
        uint16_t type = ReadU16(&table[at + 6]);
        if (length < WIN_CERTIFICATE_HEADER_BYTES || length > end - at) {
            signature.problem = "a certificate table entry of " + std::to_string(length) +
                                " bytes does not fit the table";
            break;
        }
        if (type == WIN_CERT_TYPE_PKCS_SIGNED_DATA) {
            ReadSignedData(&table[at + WIN_CERTIFICATE_HEADER_BYTES],
                           length - WIN_CERTIFICATE_HEADER_BYTES, signature);
            ERR_clear_error();
            return signature;
        }
        at += (uint64_t(length) + 7) & ~uint64_t(7); // entries are 8-byte aligned
    }
    if (signature.problem.empty())
        signature.problem = "the certificate table holds no PKCS#7 signature";
    return signature;
}
