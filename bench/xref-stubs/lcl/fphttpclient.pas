unit fphttpclient;

{$mode objfpc}{$H+}

interface

uses
  Classes, SysUtils;

type
  TFPCustomHTTPClient = class(TComponent)
  private
    function GetRequestBody: TStream;
    procedure SetRequestBody(const Value: TStream);
    function GetRequestHeaders: TStrings;
    procedure SetRequestHeaders(const Value: TStrings);
    function GetResponseHeaders: TStrings;
    function GetResponseStatusCode: Integer;
    function GetResponseStatusText: string;
    function GetServerHTTPVersion: string;
  public
    property ResponseStatusCode: Integer read GetResponseStatusCode;
    property ResponseStatusText: string read GetResponseStatusText;
    property ServerHTTPVersion: string read GetServerHTTPVersion;
    procedure HTTPMethod(const AMethod, AURL: string; Stream: TStream;
      const AllowedResponseCodes: array of Integer); virtual;
    property RequestBody: TStream read GetRequestBody write SetRequestBody;
    property RequestHeaders: TStrings read GetRequestHeaders write SetRequestHeaders;
    property ResponseHeaders: TStrings read GetResponseHeaders;
  end;

  TFPHTTPClient = class(TFPCustomHTTPClient)
  end;

implementation

end.
